// The writer every file of a run goes through: its steps on the disk in
// order, names that never replace a file, what a full, failing or vanished
// disk leaves behind, the queue's bound, and a recording synced before its
// first write that is readable then and finishes byte for byte as one that
// was never synced.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core_test_support.h"
#include "support/test_file_store.h"

namespace voxa::test {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

Bytes View(const std::string& text) { return Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

struct WriterRig {
  explicit WriterRig(FileWriter::Mode mode = FileWriter::Mode::Immediate) : writer(store, mode) {}
  FileId Create(const std::string& name = kWorkingRecordingName) {
    int error = 0;
    const FileId file = writer.Create(dir.File(name), Creation::New, error);
    EXPECT_EQ(error, 0);
    return file;
  }
  ScratchDir dir;
  TestFileStore store;
  FileWriter writer;
};

TEST(FileWriter, StepsReachTheDiskInOrderAndClosingSyncsNamesAndSyncsTheDirectory) {
  WriterRig rig;
  const FileId file = rig.Create();
  rig.writer.Append(file, View("abcdef"));
  rig.writer.WriteAt(file, 1, View("XY"));
  rig.writer.Run(file, [](FileAccess& access) {
    uint8_t two[2];
    access.ReadAt(4, two, 2);
    access.WriteAt(access.Size(), two, 2);
  });
  rig.writer.Sync(file);
  rig.writer.Close(file, {"03071405.015", kWorkingRecordingName});
  // The new directory entry is synced at once; at the end the file's data
  // and size reach the disk before it gets its name, and the name after.
  EXPECT_EQ(rig.store.Calls(),
            (Calls{"create streamdat.bin", "syncdir", "write streamdat.bin", "write streamdat.bin",
                   "write streamdat.bin", "sync streamdat.bin", "fsync streamdat.bin", "close streamdat.bin",
                   "rename streamdat.bin 03071405.015", "syncdir"}));
  const FileOutcome outcome = rig.writer.Outcome(file);
  EXPECT_TRUE(outcome.closed && !outcome.failed);
  EXPECT_EQ(outcome.name, "03071405.015");
  EXPECT_EQ(ReadFileText(rig.dir.File("03071405.015")), "aXYdefef");
  EXPECT_FALSE(fs::exists(rig.dir.File(kWorkingRecordingName)));
  EXPECT_TRUE(rig.writer.Idle());
}

TEST(FileWriter, ANewFileNeverReplacesOneAndClosingNeverRenamesOverOne) {
  struct Row {
    const char* legend;
    std::vector<const char*> taken;
    int renameError;  // every rename fails with it
    std::string name;
  };
  const std::vector<Row> rows = {
      {"the dated name is free", {}, 0, "03071405.015"},
      {"taken twice: the next suffix", {"03071405.015", "03071405-2.015"}, 0, "03071405-3.015"},
      {"no rename possible: the working name stays", {}, EACCES, kWorkingRecordingName},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    WriterRig rig;
    for (const char* name : row.taken) std::ofstream(rig.dir.File(name)) << name;
    const FileId file = rig.Create();
    int error = 0;
    EXPECT_EQ(rig.writer.Create(rig.dir.File(kWorkingRecordingName), Creation::New, error), kNoFile);
    EXPECT_EQ(error, EEXIST);
    rig.writer.Append(file, View("new"));
    rig.store.FailRenames(row.renameError);
    rig.writer.Close(file, {"03071405.015", kWorkingRecordingName});
    EXPECT_EQ(rig.writer.Outcome(file).name, row.name);
    EXPECT_EQ(ReadFileText(rig.dir.File(row.name)), "new");
    for (const char* name : row.taken) EXPECT_EQ(ReadFileText(rig.dir.File(name)), name);
  }
}

TEST(FileWriter, AFailedWriteKeepsWhatFitSyncsClosesAndNamesItAndTakesNoMoreData) {
  struct Row {
    int error;
    int64_t fits;
    const char* reason;
  };
  for (const Row& row : {Row{ENOSPC, 4, "No space left on device"}, Row{EIO, 0, "Input/output error"}}) {
    SCOPED_TRACE(row.reason);
    WriterRig rig;
    const FileId file = rig.Create();
    rig.store.FailWrites(kWorkingRecordingName, row.error, row.fits);
    rig.writer.Append(file, View("abcdef"));
    const std::string failure = "Cannot write to '" + rig.dir.File(kWorkingRecordingName) + "': " + row.reason;
    EXPECT_EQ(rig.writer.Failures(), Calls{failure});
    rig.store.ClearCalls();
    rig.writer.Append(file, View("gh"));
    rig.writer.WriteAt(file, 0, View("Z"));
    rig.writer.Run(file, [](FileAccess&) { ADD_FAILURE() << "a job ran on a failed file"; });
    rig.writer.Sync(file);
    rig.writer.Close(file, {"03071405.015", kWorkingRecordingName});
    EXPECT_EQ(rig.store.Calls(), (Calls{"sync streamdat.bin", "fsync streamdat.bin", "close streamdat.bin",
                                        "rename streamdat.bin 03071405.015", "syncdir"}));
    const FileOutcome outcome = rig.writer.Outcome(file);
    EXPECT_TRUE(outcome.closed && outcome.failed);
    EXPECT_EQ(outcome.failure, failure);
    EXPECT_EQ(ReadFileText(rig.dir.File("03071405.015")), std::string("abcdef").substr(0, static_cast<size_t>(row.fits)));
  }
}

TEST(FileWriter, AFileRemovedOrReplacedWhileWrittenFailsAtTheNextSyncAndIsNeverRenamed) {
  for (const bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced" : "removed");
    WriterRig rig;
    const std::string path = rig.dir.File(kWorkingRecordingName);
    const FileId file = rig.Create();
    rig.writer.Append(file, View("abc"));
    rig.writer.Sync(file);
    EXPECT_TRUE(rig.writer.Failures().empty());
    // Replaced: moved away (by hand, by another program) and another file put in its place.
    if (replaced) {
      fs::rename(path, rig.dir.File("moved.bin"));
      std::ofstream(path) << "other";
    } else {
      fs::remove(path);
    }
    rig.writer.Append(file, View("def"));
    rig.writer.Sync(file);
    const std::string failure = "'" + path + (replaced ? "' was replaced or moved away while it was written"
                                                       : "' was removed while it was written");
    EXPECT_EQ(rig.writer.Failures(), Calls{failure});
    rig.writer.Close(file, {"03071405.015", kWorkingRecordingName});
    const FileOutcome outcome = rig.writer.Outcome(file);
    EXPECT_TRUE(outcome.closed && outcome.failed);
    EXPECT_EQ(outcome.name, "");
    EXPECT_FALSE(fs::exists(rig.dir.File("03071405.015")));
    if (replaced) {
      EXPECT_EQ(ReadFileText(path), "other");
      EXPECT_EQ(ReadFileText(rig.dir.File("moved.bin")), "abcdef");
    }
  }
}

TEST(FileWriter, QueuedStepsWaitForTheRunnerAndTheQueueHoldsAtMostItsBound) {
  WriterRig rig(FileWriter::Mode::Queued);
  int wakes = 0;
  rig.writer.SetWake([&wakes] { ++wakes; });
  const FileId file = rig.Create();
  const std::string megabyte(1024 * 1024, 'x');
  for (size_t i = 0; i < FileWriter::kQueueLimit / megabyte.size(); ++i) rig.writer.Append(file, View(megabyte));
  EXPECT_EQ(rig.writer.QueuedBytes(), FileWriter::kQueueLimit);
  EXPECT_EQ(wakes, 0);
  EXPECT_TRUE(rig.writer.Failures().empty());
  // One byte more than the bound: the file fails at once, with a reason that says so.
  rig.writer.Append(file, View("y"));
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(rig.writer.Failures(),
            Calls{"Cannot write to '" + rig.dir.File(kWorkingRecordingName) +
                  "': the disk is not taking the data; more than 8 MiB wait for it in memory"});
  EXPECT_FALSE(rig.writer.Idle());
  EXPECT_EQ(fs::file_size(rig.dir.File(kWorkingRecordingName)), 0u);

  // What was taken before the bound still reaches the file; nothing after it does.
  rig.writer.RunPending();
  EXPECT_TRUE(rig.writer.Idle());
  EXPECT_EQ(wakes, 2);
  rig.writer.Append(file, View("z"));
  rig.writer.Close(file);
  rig.writer.RunPending();
  EXPECT_TRUE(rig.writer.Outcome(file).closed);
  EXPECT_EQ(fs::file_size(rig.dir.File(kWorkingRecordingName)), FileWriter::kQueueLimit);
}

// --- A recording synced during its first screen -----------------------------------

MonitorOptions OneChannel(int32_t screenSeconds) {
  MonitorOptions options;
  options.run.saveStream = true;
  options.run.loadExtHeader = false;
  options.parameters = {50, 1, 16};
  options.screenSeconds = screenSeconds;
  return options;
}

// Seconds of 50 one-channel blocks, a GPS record in each second from
// gpsFrom on, and a device header record after the first block when given.
ByteVec Seconds(int seconds, int gpsFrom, const std::string& deviceHeader) {
  ByteVec in;
  for (int second = 0; second < seconds; ++second) {
    for (int block = 0; block < 50; ++block) {
      AppendBlock(in, block == 0 ? 0x90 : 0x80, {second * 100 + block});
      if (second == 0 && block == 0 && !deviceHeader.empty()) {
        in.push_back(0xF0);
        AppendText(in, deviceHeader);
      }
      if (block == 10 && second >= gpsFrom) {
        in.push_back(0xA0);
        const std::string clock = "1200" + std::string(second < 10 ? "0" : "") + std::to_string(second);
        AppendText(in, Checksummed(Fix("43200", clock, "070326")));
      }
    }
  }
  in.push_back(0x80);
  return in;
}

TEST(RecordingSync, ARecordingSyncedBeforeItsFirstWriteIsReadableAndFinishesAsOneThatWasNot) {
  struct Row {
    const char* legend;
    int gpsFrom;               // the second of the first GPS record (past the end: none)
    std::string deviceHeader;  // arrives after the first sync; "" for none
  };
  const std::string longer = "ZELK_V=V2.07;DEV_NO=015;CH_NUM=1;S_RATE=50;P_AMPL=16;" + std::string(300, 'x') + ";";
  const std::vector<Row> rows = {
      {"same start: the header is rewritten in place", 0, ""},
      {"a longer device header: the stream moves up", 0, longer},
      {"a shorter device header: the stream moves down", 0, "DEV_NO=015;CH_NUM=1;S_RATE=50;"},
      {"no GPS in the first screen: the placeholder goes in", 99, ""},
      {"a late first fix: the placeholder is rewritten at STOP", 3, longer},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    const ByteVec in = Seconds(5, row.gpsFrom, row.deviceHeader);
    const size_t firstBlock = 5;

    PipelineRig unsynced;
    unsynced.Start(OneChannel(2));
    unsynced.Stream(in, 97);
    const std::string name = unsynced.Stop();
    const ByteVec expected = ReadFileBytes(unsynced.dir.File(name));

    PipelineRig synced;
    synced.Start(OneChannel(2));
    const std::string builtHeader = synced.pipeline.Device().HeaderText();
    synced.pipeline.StartStream(in.at(0));
    // The first block is complete once the marker after it has arrived.
    synced.Feed(ByteVec(in.begin() + 1, in.begin() + firstBlock + 1));
    synced.pipeline.SyncOutputs();
    // Before the first screen has ended the file holds a start and the stream so far.
    EXPECT_EQ(ReadFileBytes(synced.dir.File(kWorkingRecordingName)),
              Concat({Raw({0xF0}), Text(builtHeader), ByteVec(in.begin(), in.begin() + firstBlock)}));
    for (size_t at = firstBlock + 1; at < in.size(); at += 97) {
      synced.Feed(ByteVec(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(std::min(at + 97, in.size()))));
      synced.pipeline.SyncOutputs();
    }
    EXPECT_EQ(synced.Stop(), name);
    EXPECT_EQ(ReadFileBytes(synced.dir.File(name)), expected);
  }
}

}  // namespace
}  // namespace voxa::test
