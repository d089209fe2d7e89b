// The volume table: mountinfo parsing (escaped names, options, devices), the test seam,
// lookups of a path's volume, and the program's own folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include "platform/files.h"
#include "platform/volumes.h"
#include "support/temp_tree.h"

using namespace platform;

namespace {

// Replaces the table for one test and puts the real one back.
struct TableGuard {
  explicit TableGuard(std::vector<Volume> volumes) {
    setVolumeTableForTests([volumes] { return volumes; });
  }
  ~TableGuard() { setVolumeTableForTests({}); }
};

Volume volume(const std::string& mountPoint, int32_t freeMiB) {
  Volume v;
  v.mountPoint = mountPoint;
  v.freeMiB = freeMiB;
  return v;
}

}  // namespace

TEST(MountInfo, ParsesEscapedNamesOptionsAndDevices) {
  const std::string text =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "29 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 29 8:17 / /media/my\\040usb\\011stick rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw\n"
      "41 29 11:0 / /media/cdrom ro,relatime - iso9660 /dev/sr0 ro\n"
      "42 29 0:50 / /mnt/back\\134slash rw - nfs4 server:/export\\040one rw\n"
      "this line is broken\n"
      "43 29 0:51 / /no/separator rw nfs server:/x rw\n";
  std::vector<Volume> volumes = parseMountInfo(text);
  ASSERT_EQ(volumes.size(), 5u);
  EXPECT_EQ(volumes[0].mountPoint, "/proc");
  EXPECT_EQ(volumes[1].mountPoint, "/");
  EXPECT_EQ(volumes[1].device, makedev(254, 0));
  EXPECT_EQ(volumes[1].source, "/dev/vda");
  EXPECT_EQ(volumes[2].mountPoint, "/media/my usb\tstick");
  EXPECT_EQ(volumes[2].fsType, "vfat");
  EXPECT_EQ(volumes[2].source, "/dev/sdb1");
  EXPECT_EQ(volumes[2].device, makedev(8, 17));
  EXPECT_TRUE(volumes[2].readWrite);
  EXPECT_FALSE(volumes[3].readWrite);
  EXPECT_EQ(volumes[4].mountPoint, "/mnt/back\\slash");
  EXPECT_EQ(volumes[4].source, "server:/export one");
  EXPECT_EQ(volumes[4].freeMiB, 0);
}

TEST(VolumeTable, TheRealTableHoldsTheRootWithItsDevice) {
  std::vector<Volume> volumes = volumeTable();
  const Volume* root = nullptr;
  for (const Volume& v : volumes)
    if (v.mountPoint == "/") root = &v;
  ASSERT_NE(root, nullptr);
  struct stat info{};
  ASSERT_EQ(stat("/", &info), 0);
  bool someRootMatches = false;  // "/" may be mounted over; one of them is the live one
  for (const Volume& v : volumes)
    if (v.mountPoint == "/" && v.device == info.st_dev) someRootMatches = true;
  EXPECT_TRUE(someRootMatches);
  EXPECT_EQ(volumeOf(executableFolder()).empty(), false);
}

TEST(VolumeTable, TheSeamReplacesTheTable) {
  TableGuard guard({volume("/", 100), volume("/media/usb", 2048), volume("/media/usb2", 7)});
  ASSERT_EQ(volumeTable().size(), 3u);
  EXPECT_EQ(driveFreeSpace("/media/usb"), 2048);
  EXPECT_EQ(driveFreeSpace("/media/usb2"), 7);
  EXPECT_EQ(driveFreeSpace("/media"), 0);
  EXPECT_EQ(driveFreeSpace(""), 0);

  struct Row {
    const char* path;
    const char* volume;
  } rows[] = {
      {"/media/usb", "/media/usb"},        {"/media/usb/", "/media/usb"},
      {"/media/usb/a/b", "/media/usb"},    {"/media/usb2/x", "/media/usb2"},
      {"/media/usbx/y", "/"},              {"/home/me", "/"},
      {"relative/path", ""},               {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(volumeOf(row.path), row.volume) << row.path;
}

TEST(VolumeTable, LaterMountsOnTheSamePointWin) {
  TableGuard guard({volume("/", 1), volume("/data", 10), volume("/data", 20)});
  EXPECT_EQ(driveFreeSpace("/data"), 20);
}

// Reading the table asks no volume anything; askFreeSpace asks the ones it is given.
TEST(VolumeTable, FreeSpaceIsAskedOnlyWhenWanted) {
  std::vector<Volume> volumes = volumeTable();
  std::vector<Volume> root;
  for (const Volume& v : volumes) {
    EXPECT_EQ(v.freeMiB, 0) << v.mountPoint;
    if (v.mountPoint == "/") root.assign(1, v);
  }
  ASSERT_EQ(root.size(), 1u);
  askFreeSpace(root);
  struct statvfs info{};
  ASSERT_EQ(statvfs("/", &info), 0);
  const int64_t mib = static_cast<int64_t>((static_cast<unsigned long long>(info.f_bavail) * info.f_frsize) >> 20);
  EXPECT_NEAR(root[0].freeMiB, mib, 64);  // other programs write meanwhile
}

// The largest file a staging volume can keep, by its type.
TEST(VolumeFacts, LargestFileByType) {
  struct Row {
    const char* type;
    int64_t largest;
  } rows[] = {{"ext4", INT64_MAX},   {"xfs", INT64_MAX},     {"btrfs", INT64_MAX},
              {"vfat", 0xFFFFFFFF}, {"msdos", 0xFFFFFFFF}, {"exfat", INT64_MAX},
              {"ntfs3", INT64_MAX}, {"fuseblk", INT64_MAX}};
  for (const Row& row : rows) {
    Volume v = volume("/media/usb", 100);
    v.fsType = row.type;
    EXPECT_EQ(largestFileOn(v), row.largest) << row.type;
  }
  TableGuard guard({volume("/", 1), volume("/media/usb", 10)});
  EXPECT_EQ(volumeAt("/media/usb/Backup001").mountPoint, "/media/usb");
  EXPECT_EQ(volumeAt("/media/usb/Backup001").freeMiB, 10);
  EXPECT_EQ(volumeAt("relative").mountPoint, "");
}

// Others may reach a drive whose top folder they can write, or one without permission bits
// mounted open to them; a desktop mounts a stick closed (umask=077).
TEST(VolumeFacts, OthersMayReachOpenDrivesOnly) {
  TempTree tree;
  struct Row {
    const char* type;
    mode_t mode;
    bool reached;
  } rows[] = {{"ext4", 0755, false}, {"ext4", 01777, true}, {"xfs", 0700, false},
              {"vfat", 0700, false}, {"exfat", 0755, true}, {"fuseblk", 0777, true}, {"fuseblk", 0700, false}};
  for (const Row& row : rows) {
    Volume v = volume(tree.root(), 100);
    v.fsType = row.type;
    chmod(tree.root().c_str(), row.mode);
    EXPECT_EQ(othersMayReach(v), row.reached) << row.type << " " << std::oct << row.mode;
  }
  chmod(tree.root().c_str(), 0700);
}

TEST(ExecutableFolder, IsTheResolvedFolderOfThisTest) {
  std::string folder = executableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(fileSize(folder), kIsFolder);
  EXPECT_GT(fileSize(folder + "platform_volumes_test"), 0);
}
