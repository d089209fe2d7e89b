// The permission bits of the moved files, recorded at "GO" inside Backup001 when the staging
// volume shows one mode for every copy (NTFS, exFAT, FAT): "BACK" then takes them from here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "staging/state.h"

namespace staging {

// Where the record lies: base's first staging folder.
std::string recordPath(const std::string& base);
// Writes the modes of every listed file (0 for folders and files that cannot be asked) into
// base's first staging folder, which it creates when missing; true when they reached the disk.
bool writeModes(const std::string& base, const std::vector<FileEntry>& files);
// The recorded modes, one per list position; empty when there is no record for count entries
// (a database of an older program, or a damaged record): the staged copies' modes then stand.
std::vector<uint32_t> readModes(const std::string& base, int64_t count);

}  // namespace staging
