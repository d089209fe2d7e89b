// What "GO" and "BACK" share: one proven copy of a file, the progress figure, the status
// text, and the fatal stop that leaves the staging area for a later "BACK".
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

namespace platform { class Gui; }

namespace staging {

// Copies source to target (temporary name and rename) with the source's permission bits and
// exact access and write times, keeping the window painted during a long file. With check,
// the copy is read back from the disk and its SHA-1, MD5 and CRC32 compared with the bytes
// read from the source; a mismatch offers one retry, and Cancel or a second mismatch ends
// the program. Returns true when the copy is in place (and proven, with check).
bool transferFile(const std::string& source, const std::string& target, bool check,
                  platform::Gui& gui);

// Integer part of i / n * 100 in double precision (28 for 29 of 100); 0 when n is 0.
int progressAt(int64_t position, int64_t count);

// Replaces the whole status text by the lines joined by the line separator.
void showStatus(platform::Gui& gui, std::initializer_list<std::string> lines);

// Megabytes with two decimals and " MB", as the status shows a file's size (0.00 for none).
std::string megabytesText(int64_t bytes);

// Shows the stop box "Error" / "Drive error, stop." and ends the program.
[[noreturn]] void stopForDriveError(platform::Gui& gui);

}  // namespace staging
