// Shelfdex.facts: one fact a line, its fields split by tabs. Paths escape "\", tab, CR and LF,
// so any Linux name fits on one line:
//   volume <folder> <identity>
//   kept <list position>
//   sum <list position> <SHA-1> <MD5> <CRC32>     lower-case hex, the CRC in 8 digits
//   database <SHA-1 of Shelfdex.dat>
//   mode <list position> <octal permission bits> <owner id> <group id>
//   times <list position> <accessed s> <ns> <modified s> <ns>   seconds since 1970 UTC
//         (negative before), and nanoseconds 0 to 999999999 added to them
//   xattr <list position> <attribute name> <value in lower-case hex>
//   flags <list position> <chattr letters: A, d>
//   data <list position> [<start> <end>]...   a file's stretches of data, the rest holes
//   seal <HMAC-SHA-256 of every line before it, under the user's key>   the last line
// Lines of another lower-case kind are facts of a later version and are passed over.
#include "staging/facts.h"

#include <cstdint>

#include "platform/files.h"
#include "platform/numtext.h"
#include "platform/volumes.h"
#include "staging/database.h"
#include "staging/state.h"

namespace staging {
namespace {

constexpr int64_t kLargestFacts = 256 << 20;  // far above any real list; bounds memory
constexpr mode_t kFileMode = 0600;  // the user's alone, like everything GO writes

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

bool unescaped(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool positionOf(const std::string& text, int64_t& position) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  position = std::stoll(text);
  return true;
}

bool isHex(const std::string& text, size_t length) {
  return text.size() == length && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string crcText(uint32_t crc) {
  const char* digits = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[static_cast<size_t>(i)] = digits[crc & 15];
  return text;
}

// The number lower-case hex digits (at most 8) stand for.
uint32_t hexValue(const std::string& text) {
  uint32_t value = 0;
  for (char c : text) value = value << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  return value;
}

std::string sumLine(int64_t position, const platform::Fingerprints& prints) {
  return "sum\t" + platform::integerText(position) + "\t" + prints.sha1 + "\t" + prints.md5 + "\t" +
         crcText(prints.crc32) + "\n";
}

// Reads a sum or database line into facts; false when it is not what writeFacts writes.
bool readFingerprintFact(const std::vector<std::string>& fields, MoveFacts& facts) {
  if (fields[0] == "database") {
    if (fields.size() != 2 || !isHex(fields[1], 40)) return false;
    facts.databaseSha1 = fields[1];
    return true;
  }
  int64_t position = 0;
  if (fields.size() != 5 || !positionOf(fields[1], position) || !isHex(fields[2], 40) ||
      !isHex(fields[3], 32) || !isHex(fields[4], 8))
    return false;
  facts.sums[position] = platform::Fingerprints{fields[2], fields[3], hexValue(fields[4])};
  return true;
}

std::string octalText(int64_t value) {
  std::string text;
  do text.insert(text.begin(), static_cast<char>('0' + value % 8));
  while ((value /= 8) > 0);
  return text;
}

bool modeLine(const std::vector<std::string>& fields, int64_t& position, platform::Ownership& mode) {
  int64_t owner = 0, group = 0;
  if (fields.size() != 5 || !positionOf(fields[1], position) || fields[2].empty() ||
      fields[2].size() > 4 || fields[2].find_first_not_of("01234567") != std::string::npos ||
      !positionOf(fields[3], owner) || !positionOf(fields[4], group) || owner > UINT32_MAX ||
      group > UINT32_MAX)
    return false;
  mode = platform::Ownership{std::stoll(fields[2], nullptr, 8), static_cast<uint32_t>(owner),
                             static_cast<uint32_t>(group)};
  return true;
}

bool secondsOf(const std::string& text, int64_t& seconds) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!positionOf(negative ? text.substr(1) : text, seconds)) return false;
  if (negative) seconds = -seconds;
  return true;
}

bool timeOf(const std::string& secondsText, const std::string& nanosText, timespec& time) {
  int64_t seconds = 0, nanos = 0;
  if (!secondsOf(secondsText, seconds) || nanosText.size() > 9 || !positionOf(nanosText, nanos)) return false;
  time = timespec{static_cast<time_t>(seconds), static_cast<long>(nanos)};
  return true;
}

std::string timeText(const timespec& time) {
  return platform::integerText(time.tv_sec) + "\t" + platform::integerText(time.tv_nsec);
}

const char kHexDigits[] = "0123456789abcdef";

std::string hexText(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) text += {kHexDigits[byte >> 4], kHexDigits[byte & 15]};
  return text;
}

bool bytesOfHex(const std::string& text, std::string& bytes) {
  constexpr size_t kLargestValue = 65536;  // the most an extended attribute holds
  if (text.size() % 2 != 0 || text.size() > 2 * kLargestValue || !isHex(text, text.size())) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 2)
    bytes += static_cast<char>(static_cast<uint8_t>(hexValue(text.substr(i, 2))));
  return true;
}

// Reads a times, xattr, flags or data line into facts; false when it is not what writeFacts
// writes. An attribute of a kind this version does not carry is passed over.
bool readEntryFact(const std::vector<std::string>& fields, MoveFacts& facts) {
  int64_t position = 0;
  if (fields.size() < 2 || !positionOf(fields[1], position)) return false;
  const std::string& kind = fields[0];
  if (kind == "times") {
    ExactTimes times;
    if (fields.size() != 6 || !timeOf(fields[2], fields[3], times.accessed) ||
        !timeOf(fields[4], fields[5], times.modified))
      return false;
    facts.times[position] = times;
  } else if (kind == "xattr") {
    std::string name, value;
    if (fields.size() != 4 || !unescaped(fields[2], name) || !bytesOfHex(fields[3], value)) return false;
    if (platform::carriedAttribute(name)) facts.attributes[position].extended.emplace_back(name, value);
  } else if (kind == "flags") {
    if (fields.size() != 3 || !platform::carriedFlags(fields[2])) return false;
    facts.attributes[position].flags = fields[2];
  } else {
    std::vector<platform::DataRange> ranges;
    int64_t reached = 0;
    for (size_t f = 2; f + 1 < fields.size(); f += 2) {
      platform::DataRange range;
      if (!positionOf(fields[f], range.start) || !positionOf(fields[f + 1], range.end) || range.start < reached ||
          range.end <= range.start)
        return false;
      reached = range.end;
      ranges.push_back(range);
    }
    if (fields.size() % 2 != 0) return false;
    facts.data[position] = std::move(ranges);
  }
  return true;
}

std::string entryFactLines(const MoveFacts& facts) {
  std::string text;
  for (const auto& [position, times] : facts.times)
    text += "times\t" + platform::integerText(position) + "\t" + timeText(times.accessed) + "\t" +
            timeText(times.modified) + "\n";
  for (const auto& [position, attributes] : facts.attributes) {
    for (const auto& [name, value] : attributes.extended)
      text += "xattr\t" + platform::integerText(position) + "\t" + escaped(name) + "\t" + hexText(value) + "\n";
    if (!attributes.flags.empty()) text += "flags\t" + platform::integerText(position) + "\t" + attributes.flags + "\n";
  }
  for (const auto& [position, ranges] : facts.data) {
    text += "data\t" + platform::integerText(position);
    for (const platform::DataRange& range : ranges)
      text += "\t" + platform::integerText(range.start) + "\t" + platform::integerText(range.end);
    text += "\n";
  }
  return text;
}

}  // namespace

bool ExactTimes::operator==(const ExactTimes& other) const {
  return accessed.tv_sec == other.accessed.tv_sec && accessed.tv_nsec == other.accessed.tv_nsec &&
         modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

MoveFacts factsOfList(const std::vector<FileEntry>& files) {
  MoveFacts facts;
  facts.present = true;
  std::set<std::string> listedFolders, tops;
  for (const FileEntry& entry : files)
    if (entry.kind == kFolder) listedFolders.insert(entry.path);
  // A folder the list starts from: a listed folder whose parent is not listed, or the
  // folder of a file that is not listed itself (a chosen volume root has no entry).
  for (const FileEntry& entry : files) {
    const bool folder = entry.kind == kFolder;
    const std::string above =
        platform::pathPart(folder ? entry.path.substr(0, entry.path.size() - 1) : entry.path);
    if (listedFolders.count(above) == 0) tops.insert(folder ? entry.path : above);
  }
  for (const std::string& top : tops)
    facts.volumes.push_back(SourceVolume{top, platform::volumeIdentity(top)});
  for (size_t i = 0; i < files.size(); ++i) {
    const platform::Ownership mode = platform::ownershipOf(files[i].path);
    if (mode.mode >= 0) facts.modes[static_cast<int64_t>(i)] = mode;
  }
  return facts;
}

bool writeFacts(const platform::Held& base, const MoveFacts& facts) {
  std::string text;
  for (const SourceVolume& volume : facts.volumes)
    text += "volume\t" + escaped(volume.folder) + "\t" + escaped(volume.identity) + "\n";
  for (int64_t position : facts.kept) text += "kept\t" + platform::integerText(position) + "\n";
  for (const auto& [position, prints] : facts.sums) text += sumLine(position, prints);
  if (!facts.databaseSha1.empty()) text += "database\t" + facts.databaseSha1 + "\n";
  for (const auto& [position, mode] : facts.modes)
    text += "mode\t" + platform::integerText(position) + "\t" + octalText(mode.mode) + "\t" +
            platform::integerText(mode.owner) + "\t" + platform::integerText(mode.group) + "\n";
  text += entryFactLines(facts);
  // Whoever can write the staging area can recompute every fingerprint; only the user's
  // key, which never lies there, tells the user's own facts from anyone else's.
  const std::string key = platform::userKey(true);
  if (!key.empty()) text += "seal\t" + platform::keyedDigest(key, text) + "\n";
  return platform::replaceFileContent(base, kFactsName, text, kFileMode);
}

std::optional<MoveFacts> readFacts(const platform::Held& base, bool& damaged) {
  damaged = false;
  MoveFacts facts;
  const platform::Place place{base, kFactsName};
  if (platform::standingAt(place) == platform::Standing::kNothing) return facts;
  std::string text;
  if (!platform::readFileContent(place, kLargestFacts, text) || (!text.empty() && text.back() != '\n')) {
    damaged = true;
    return std::nullopt;
  }
  facts.present = true;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::vector<std::string> fields = fieldsOf(text.substr(start, end - start));
    if (fields[0] == "seal") {
      const std::string key = platform::userKey(false);
      facts.own = end + 1 == text.size() && fields.size() == 2 && !key.empty() &&
                  platform::keyedDigest(key, text.substr(0, start)) == fields[1];
      break;
    }
    start = end + 1;
    SourceVolume volume;
    int64_t position = 0;
    platform::Ownership mode;
    if (fields[0] == "volume" && fields.size() == 3 && unescaped(fields[1], volume.folder) &&
        unescaped(fields[2], volume.identity) && isCanonicalPath(volume.folder, true)) {
      facts.volumes.push_back(std::move(volume));
    } else if (fields[0] == "kept" && fields.size() == 2 && positionOf(fields[1], position)) {
      facts.kept.insert(position);
    } else if (fields[0] == "sum" || fields[0] == "database") {
      if (!readFingerprintFact(fields, facts)) {
        damaged = true;
        return std::nullopt;
      }
    } else if (fields[0] == "mode" && modeLine(fields, position, mode)) {
      facts.modes[position] = mode;
    } else if (fields[0] == "times" || fields[0] == "xattr" || fields[0] == "flags" || fields[0] == "data") {
      if (!readEntryFact(fields, facts)) {
        damaged = true;
        return std::nullopt;
      }
    } else if (fields[0] == "volume" || fields[0] == "kept" || fields[0] == "mode" ||
               fields[0].find_first_not_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos) {
      damaged = true;
      return std::nullopt;
    }
  }
  return facts;
}

namespace {

// Writes name in the base with text, or removes it when text is empty; true on success.
bool writeListFile(const platform::Held& base, const std::string& name, const std::string& text) {
  if (text.empty()) return platform::removeAt(platform::Place{base, name});
  return platform::replaceFileContent(base, name, text, kFileMode);
}

}  // namespace

bool writeKeptList(const platform::Held& base, const std::vector<FileEntry>& files,
                   const std::set<int64_t>& kept) {
  std::string text;
  for (int64_t position : kept) text += files[static_cast<size_t>(position)].path + "\n";
  return writeListFile(base, kKeptListName, text);
}

bool writeContentsList(const platform::Held& base, const std::vector<FileEntry>& files,
                       const std::set<int64_t>& kept) {
  std::string text;
  for (size_t i = 0; i < files.size(); ++i)
    if (files[i].kind == kFile && kept.count(static_cast<int64_t>(i)) == 0)
      text += stagedPath("", static_cast<int64_t>(i)).file + "\t" + escaped(files[i].path) + "\n";
  return writeListFile(base, kContentsListName, text);
}

bool writeSumLists(const platform::Held& base, const MoveFacts& facts) {
  std::string sha1, md5;
  for (const auto& [position, prints] : facts.sums) {
    const std::string relative = stagedPath("", position).file;  // "Backup001/F0000001.dat"
    sha1 += prints.sha1 + "  " + relative + "\n";
    md5 += prints.md5 + "  " + relative + "\n";
  }
  return writeListFile(base, kSha1ListName, sha1) && writeListFile(base, kMd5ListName, md5);
}

}  // namespace staging
