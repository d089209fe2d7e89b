// Date values: local wall-clock fields counted as UTC, converted at the date's own offset,
// so a date read and set back in either season leaves the file's time as it was.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "platform/dates.h"
#include "support/temp_tree.h"
#include "support/time_zone.h"

using namespace platform;

namespace {

// Runs a test in a fixed zone with summer time, and puts the old zone back afterwards.
class BerlinTime : public ::testing::Test {
 protected:
  testing_support::ZoneGuard zone{"Europe/Berlin"};
};

// The date value whose UTC fields are the given calendar fields.
int32_t fields(int year, int month, int day, int hour, int minute, int second) {
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return static_cast<int32_t>(timegm(&t));
}

time_t utc(int year, int month, int day, int hour, int minute, int second) {
  return fields(year, month, day, hour, minute, second);
}

}  // namespace

TEST_F(BerlinTime, ReadsTheWallClockOfEachSeason) {
  TempTree tree;
  std::string winter = tree.write("winter", "w");
  std::string summer = tree.write("summer", "s");
  ASSERT_NE(setExactTimes(winter, {utc(2023, 1, 15, 10, 0, 0), 0}, {utc(2023, 1, 15, 10, 0, 0), 0}), 0);
  ASSERT_NE(setExactTimes(summer, {utc(2023, 7, 15, 10, 0, 0), 0}, {utc(2023, 7, 15, 10, 0, 0), 0}), 0);
  EXPECT_EQ(fileDate(winter, kModified), fields(2023, 1, 15, 11, 0, 0));
  EXPECT_EQ(fileDate(summer, kModified), fields(2023, 7, 15, 12, 0, 0));
  EXPECT_EQ(fileDate(summer, kAccessed), fields(2023, 7, 15, 12, 0, 0));
}

TEST_F(BerlinTime, ReadAndSetBackKeepsTheTimeInBothSeasons) {
  TempTree tree;
  for (time_t when : {utc(2023, 1, 15, 10, 20, 30), utc(2023, 7, 15, 10, 20, 30),
                      utc(1999, 12, 31, 23, 59, 59)}) {
    std::string file = tree.write("file", "x");
    ASSERT_NE(setExactTimes(file, {when - 3600, 0}, {when, 0}), 0);
    int32_t modified = fileDate(file, kModified);
    int32_t accessed = fileDate(file, kAccessed);
    ASSERT_NE(setExactTimes(file, {1, 0}, {2, 0}), 0);
    EXPECT_NE(setFileDate(file, kModified, modified), 0);
    EXPECT_EQ(exactTime(file, kModified).tv_sec, when);
    EXPECT_EQ(exactTime(file, kAccessed).tv_sec, 1) << "setting one time leaves the other";
    EXPECT_NE(setFileDate(file, kAccessed, accessed), 0);
    EXPECT_EQ(exactTime(file, kAccessed).tv_sec, when - 3600);
    EXPECT_EQ(exactTime(file, kModified).tv_sec, when);
  }
}

TEST_F(BerlinTime, FoldersRoundTripToo) {
  TempTree tree;
  std::string folder = tree.makeFolder("folder");
  time_t when = utc(2022, 3, 1, 8, 0, 0);
  ASSERT_NE(setExactTimes(folder, {when, 0}, {when, 0}), 0);
  int32_t value = fileDate(folder, kModified);
  ASSERT_NE(setExactTimes(folder, {5, 0}, {5, 0}), 0);
  EXPECT_NE(setFileDate(folder, kModified, value), 0);
  EXPECT_EQ(exactTime(folder, kModified).tv_sec, when);
}

TEST_F(BerlinTime, ConversionsClampToThe32BitRange) {
  EXPECT_EQ(toDateValue(utc(2023, 7, 15, 10, 0, 0)), fields(2023, 7, 15, 12, 0, 0));
  EXPECT_EQ(fromDateValue(fields(2023, 1, 15, 11, 0, 0)), utc(2023, 1, 15, 10, 0, 0));
  EXPECT_EQ(toDateValue(INT32_MAX), INT32_MAX);  // one hour ahead would overflow
  EXPECT_EQ(toDateValue(static_cast<time_t>(1) << 40), INT32_MAX);
  EXPECT_EQ(toDateValue(-(static_cast<time_t>(1) << 40)), INT32_MIN);
}

TEST(FileDates, CreationTimeAndMissingPaths) {
  TempTree tree;
  std::string file = tree.write("file", "x");
  int32_t created = fileDate(file, kCreated);
  EXPECT_NE(created, 0) << "creation falls back to the write time where none is kept";
  EXPECT_EQ(setFileDate(file, kCreated, 12345), 0) << "Linux cannot set a creation time";
  EXPECT_EQ(fileDate(file, kCreated), created);
  EXPECT_EQ(fileDate(tree.path("missing"), kModified), 0);
  EXPECT_EQ(setFileDate(tree.path("missing"), kModified, 12345), 0);
  EXPECT_EQ(exactTime(tree.path("missing"), kModified).tv_nsec, UTIME_OMIT);
  EXPECT_EQ(setExactTimes(tree.path("missing"), {1, 0}, {1, 0}), 0);
}

TEST(FileDates, ExactTimesKeepNanosecondsAndOmit) {
  TempTree tree;
  std::string file = tree.write("file", "x");
  ASSERT_NE(setExactTimes(file, {1000, 111}, {2000, 222}), 0);
  ASSERT_NE(setExactTimes(file, {0, UTIME_OMIT}, {3000, 333}), 0);
  EXPECT_EQ(exactTime(file, kAccessed).tv_sec, 1000);
  EXPECT_EQ(exactTime(file, kAccessed).tv_nsec, 111);
  EXPECT_EQ(exactTime(file, kModified).tv_sec, 3000);
  EXPECT_EQ(exactTime(file, kModified).tv_nsec, 333);
}

namespace {

// The conversion without any cache: local fields of the moment, counted as UTC.
int32_t plainDateValue(time_t seconds) {
  tm fields{};
  localtime_r(&seconds, &fields);
  return static_cast<int32_t>(timegm(&fields));
}

}  // namespace

TEST_F(BerlinTime, DateValuesStayExactAcrossTheChangesOfSeason) {
  // 2026-03-29 01:00 UTC and 2026-10-25 01:00 UTC: clocks go forward, then back.
  for (const time_t change : {time_t{1774746000}, time_t{1792890000}}) {
    for (time_t t = change - 7200; t <= change + 7200; t += 59) {
      ASSERT_EQ(toDateValue(t), plainDateValue(t)) << t;
    }
  }
  // A new zone must not reuse the offsets Berlin left behind.
  zone.set("UTC");
  EXPECT_EQ(toDateValue(1774746000), 1774746000);
}
