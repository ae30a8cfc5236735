// voxa-convert: converts VOXA recordings (finished dated ones, and a
// streamdat.bin a failed run left) into an SDS archive of miniSEED files,
// dated by the recording's GPS records, and says what it wrote.
//
// Exit status: 0 every recording was converted; 1 a file could not be used
// (not a recording, empty, unreadable, no sample blocks), the others were
// converted; 2 a bad command line; 3 the archive could not be written.
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mseed/codes.h"
#include "mseed/recording_converter.h"

namespace {

using namespace voxa;

constexpr int kExitUnusable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitArchive = 3;

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: voxa-convert [options] --out DIR RECORDING...\n"
      "\n"
      "Converts VOXA recordings (dated recordings, or a streamdat.bin left by a run\n"
      "that failed) into an SDS archive of miniSEED under DIR:\n"
      "  DIR/YEAR/NET/STA/CHA.D/NET.STA.LOC.CHA.D.YEAR.DOY\n"
      "Samples are dated by the recording's GPS records; existing day files are\n"
      "added to, never rewritten.\n"
      "\n"
      "Options:\n"
      "  --out DIR              the archive's root (made when missing)\n",
      out);
  std::fputs(std::string(CodeOptionsUsage()).c_str(), out);
  std::fputs(
      "  --help                 show this text\n"
      "\n"
      "Exit status: 0 all converted; 1 a file was not a usable recording (the\n"
      "others were converted); 2 bad command line; 3 the archive could not be written.\n",
      out);
}

std::string Seconds(Micros span) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f s", static_cast<double>(span) / kMicrosPerSecond);
  return text;
}

void PrintResult(const std::string& path, const ConversionResult& result, const std::string& root) {
  const ArchiveReport& archive = result.archive;
  const DatingCounts& dating = archive.dating;
  std::printf("%s: %d channel%s at %d sps, device %s, %" PRId64 " blocks (%" PRId64 " invalid), %s\n", path.c_str(),
              archive.format.channels, archive.format.channels == 1 ? "" : "s", archive.format.rate,
              archive.deviceNumber.c_str(), dating.blocks, dating.invalidBlocks,
              result.finished ? "finished recording" : "unfinished recording");
  std::printf("  seconds: %" PRId64 " marks, %" PRId64 " dated by GPS, %" PRId64 " dated forward; %" PRId64
              " blocks dated back before the first fix\n",
              dating.marks, dating.gpsMarks, dating.forwardMarks, dating.backDatedBlocks);
  if (dating.startRecordTime) {
    std::printf("  start record: %s", IsoText(*dating.startRecordTime).c_str());
    if (dating.firstSampleTime && *dating.firstSampleTime != *dating.startRecordTime) {
      std::printf(" (the first fix dates the first sample at %s)", IsoText(*dating.firstSampleTime).c_str());
    }
    std::printf("\n");
  }
  if (!result.endTime.empty()) std::printf("  end-time record: %s\n", result.endTime.c_str());
  for (const ChannelReport& channel : archive.channels) {
    const ChannelStats& stats = channel.stats;
    std::printf("  %-16s %s .. %s  %" PRId64 " samples, %" PRId64 " records, %" PRId64 " gaps, %" PRId64
                " overlaps\n",
                channel.name.Text().c_str(), IsoText(stats.first.value_or(0)).c_str(), IsoText(stats.end).c_str(),
                stats.samples, stats.records, stats.gaps, stats.overlaps);
    // The data channels share their gaps; they are listed once, for the first.
    if (&channel == &archive.channels.front()) {
      for (const Discontinuity& d : stats.discontinuities) {
        std::printf("      %s at %s: %s\n", d.size > 0 ? "gap" : "overlap", IsoText(d.at).c_str(),
                    Seconds(d.size > 0 ? d.size : -d.size).c_str());
      }
      if (static_cast<int64_t>(stats.discontinuities.size()) < stats.gaps + stats.overlaps) {
        std::printf("      ...\n");
      }
    }
  }
  std::printf("  %zu file%s under %s\n", archive.files.size(), archive.files.size() == 1 ? "" : "s", root.c_str());
  if (const std::string held = HeldRecordsText(archive); !held.empty()) std::printf("  %s\n", held.c_str());
  for (const std::string& note : result.notes) std::printf("  note: %s\n", note.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  MseedSettings settings;
  settings.flushEachRecord = false;  // a conversion writes in bulk; files are closed at its end
  std::optional<std::string> out;
  std::vector<std::string> recordings;
  bool optionsEnded = false;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      recordings.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name == "--help" || name == "-h") {
      Usage(stdout);
      return 0;
    }
    if (name != "--out" && !IsCodeOption(name)) {
      std::fprintf(stderr, "voxa-convert: unknown option '%s'\n", arg.c_str());
      Usage(stderr);
      return kExitUsage;
    }
    if (!value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "voxa-convert: option %s needs a value\n", name.c_str());
        return kExitUsage;
      }
      value = argv[++i];
    }
    if (name == "--out") {
      out = *value;
      continue;
    }
    std::string message;
    if (!ApplyCodeOption(name, *value, settings.codes, message)) {
      std::fprintf(stderr, "voxa-convert: %s\n", message.c_str());
      return kExitUsage;
    }
  }
  if (!out || out->empty()) {
    std::fprintf(stderr, "voxa-convert: --out DIR is required\n");
    Usage(stderr);
    return kExitUsage;
  }
  if (recordings.empty()) {
    std::fprintf(stderr, "voxa-convert: no recording given\n");
    Usage(stderr);
    return kExitUsage;
  }
  std::error_code error;
  std::filesystem::create_directories(*out, error);
  if (!std::filesystem::is_directory(*out)) {
    // Say why: a path that names something else, or the system's reason.
    std::error_code seen;
    const bool taken = std::filesystem::exists(std::filesystem::symlink_status(*out, seen));
    const std::string reason = taken ? "it exists and is not a directory"
                               : error ? error.message()
                                       : "it could not be made";
    std::fprintf(stderr, "voxa-convert: cannot make the archive directory %s: %s\n", out->c_str(), reason.c_str());
    return kExitArchive;
  }
  settings.directory = *out;

  int status = 0;
  for (const std::string& path : recordings) {
    if (std::filesystem::is_directory(path, error)) {
      std::fprintf(stderr, "voxa-convert: %s: is a directory, not a recording\n", path.c_str());
      status = kExitUnusable;
      continue;
    }
    try {
      RecordingConverter converter(settings);
      const ConversionResult result = converter.Convert(path);
      if (!result.usable) {
        std::fprintf(stderr, "voxa-convert: %s: %s\n", path.c_str(), result.problem.c_str());
        status = kExitUnusable;
        continue;
      }
      PrintResult(path, result, *out);
    } catch (const ArchiveError& e) {
      std::fprintf(stderr, "voxa-convert: %s: the archive could not be written: %s\n", path.c_str(), e.what());
      return kExitArchive;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "voxa-convert: %s: %s\n", path.c_str(), e.what());
      status = kExitUnusable;
    }
  }
  return status;
}
