// StationXML: the gain arithmetic, the GPS position, what cannot be
// described, the document read back by seisplotjs under node, its atomic
// writing, and voxa-convert --stationxml.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "format/gps_record.h"
#include "metadata/station_xml.h"
#include "support/test_files.h"

namespace voxa::test {
namespace {

std::string Data(const std::string& name) { return std::string(VOXA_TEST_DATA_DIR) + "/" + name; }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Outcome {
  int status = -1;
  std::string output;
};

Outcome RunCommand(const std::string& command) {
  Outcome outcome;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, n);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

StationDescription ThreeChannels() {
  StationDescription d;
  d.codes = ResolveCodes(CodeChoices{}, 100, 3, "015");
  d.deviceNumber = "015";
  d.start = *UtcInstant(2026, 3, 7, 12, 0, 0);
  d.created = d.start;
  d.module = "test";
  return d;
}

SensorResponse Geophone() {
  SensorResponse s;
  s.sensitivity = 28.8;
  s.description = "4.5 Hz geophone";
  s.poles = {{-19.99, 19.99}, {-19.99, -19.99}};
  s.zeros = {{0.0, 0.0}, {0.0, 0.0}};
  return s;
}

TEST(StationXml, CountsPerVoltFollowTheGainFromTheDevicesVoltsPerCount) {
  for (const int32_t gain : {1, 2, 4, 8, 16, 32, 64}) {
    SCOPED_TRACE(gain);
    EXPECT_DOUBLE_EQ(VoltsPerCount(gain), 2.4414e-7 / gain);
    EXPECT_DOUBLE_EQ(CountsPerVolt(gain), gain / 2.4414e-7);
    EXPECT_DOUBLE_EQ(CountsPerVolt(gain) * VoltsPerCount(gain), 1.0);
  }
  EXPECT_NEAR(CountsPerVolt(1), 4096010.486, 1e-3);
  EXPECT_NEAR(CountsPerVolt(16), 65536167.77, 1e-2);
}

TEST(StationXml, GpsPositionOnlyFromAFixTheMessageReports) {
  const auto record = [](std::string_view position) {
    return ">RPV00015" + std::string(position) + ";*79<>RTM0000005101111201115107100000;*61<";
  };
  struct Row {
    const char* legend;
    std::string text;
    std::optional<std::pair<double, double>> expected;
  };
  const Row rows[] = {
      {"north east", record("+4712345+0081234500000012"), std::pair{47.12345, 8.12345}},
      {"south west, old fix", record("-3392500-0704230000000031"), std::pair{-33.925, -70.423}},
      {"temperature message", ">XPV+23.5+4712345+0081234500000012;*79<", std::pair{47.12345, 8.12345}},
      {"the placeholder's fixed position", std::string(kPlaceholderGpsText), std::nullopt},
      {"no fix (source 9)", record("+4712345+0081234500000092"), std::nullopt},
      {"age not available", record("+4712345+0081234500000010"), std::nullopt},
      {"latitude beyond 90", record("+9512345+0081234500000012"), std::nullopt},
      {"longitude beyond 180", record("+4712345+1812345600000012"), std::nullopt},
      {"letters in a field", record("+47123x5+0081234500000012"), std::nullopt},
      {"cut short", ">RPV00015+4712345+00812", std::nullopt},
      {"not a position message", ">RTM0000005101111201115107100000;*61<", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    const std::optional<GpsPosition> position = DecodeGpsPosition(row.text);
    ASSERT_EQ(position.has_value(), row.expected.has_value());
    if (!position) continue;
    EXPECT_DOUBLE_EQ(position->latitude, row.expected->first);
    EXPECT_DOUBLE_EQ(position->longitude, row.expected->second);
    EXPECT_FALSE(position->elevation);
  }
}

TEST(StationXml, WhatCannotBeDescribedIsRefusedAndNothingWritten) {
  struct Row {
    const char* legend;
    void (*change)(StationDescription&);
    const char* says;
  };
  const Row rows[] = {
      {"gain", [](StationDescription& d) { d.gain = 3; }, "gain 3"},
      {"rate", [](StationDescription& d) { d.rate = 250; }, "rate 250"},
      {"channels", [](StationDescription& d) { d.channels = 2; }, "1 or 3"},
      {"station code", [](StationDescription& d) { d.codes.station.clear(); }, "station codes"},
      {"latitude", [](StationDescription& d) { d.position = GpsPosition{91.0, 0.0, {}}; }, "position"},
      {"sensitivity", [](StationDescription& d) { d.sensor = SensorResponse{}; }, "sensitivity"},
      {"response at the frequency",
       [](StationDescription& d) {
         d.sensor = Geophone();
         d.sensor->zeros = {{0.0, 2.0 * 3.141592653589793}};
         d.sensor->poles.clear();
         d.sensor->zeros.push_back({0.0, 0.0});
       },
       "no finite response"},
  };
  ScratchDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    StationDescription d = ThreeChannels();
    row.change(d);
    EXPECT_NE(DescriptionProblem(d).find(row.says), std::string::npos) << DescriptionProblem(d);
    std::string error;
    EXPECT_FALSE(WriteStationXml(d, dir.File("station.xml"), error));
    EXPECT_NE(error.find(row.says), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.File("station.xml")));
  }
  EXPECT_EQ(DescriptionProblem(ThreeChannels()), "");
}

TEST(StationXml, AnUnknownSensorEndsTheResponseAtTheDigitiser) {
  const std::string text = StationXmlText(ThreeChannels());
  EXPECT_NE(text.find("<Description>unknown</Description>"), std::string::npos);
  EXPECT_NE(text.find("position unknown"), std::string::npos);
  EXPECT_EQ(text.find("Stage number=\"2\""), std::string::npos);
  EXPECT_EQ(text.find("m/s"), std::string::npos);
}

// The documents as seisplotjs's parser reads them, under node.
TEST(StationXml, SeisplotjsReadsTheCodesAndTheSensitivity) {
  const std::string script = std::string(VOXA_WEB_DIR) + "/test/read_stationxml.mjs";
  if (RunCommand("node --version").status != 0 || !std::filesystem::exists(std::string(VOXA_WEB_DIR) + "/node_modules/seisplotjs")) {
    GTEST_SKIP() << "node or web/node_modules is missing (scripts/setup.sh installs them)";
  }
  struct Row {
    const char* legend;
    StationDescription description;
    std::string expected;  // what read_stationxml.mjs must read
  };
  StationDescription geophone = ThreeChannels();
  geophone.sensor = Geophone();
  geophone.position = GpsPosition{47.12345, 8.12345, 512.5};
  StationDescription accelerometer = ThreeChannels();
  accelerometer.codes = ResolveCodes(CodeChoices{"GR", "ACC1", "00", {"HNZ"}}, 200, 1, "015");
  accelerometer.channels = 1;
  accelerometer.rate = 200;
  accelerometer.gain = 1;
  accelerometer.sensor = SensorResponse{};
  accelerometer.sensor->sensitivity = 1.02;
  accelerometer.sensor->unit = SensorUnit::Acceleration;
  accelerometer.sensor->normalizationFrequency = 5.0;
  std::ostringstream sensitivities[3];
  sensitivities[0].precision(17);
  sensitivities[1].precision(17);
  sensitivities[2].precision(17);
  sensitivities[0] << 16 / 2.4414e-7;
  sensitivities[1] << 28.8 * 16 / 2.4414e-7;
  sensitivities[2] << 1.02 / 2.4414e-7;
  const Row rows[] = {
      {"unknown sensor", ThreeChannels(),
       R"({"network":"XX","station":"V015","location":"","channels":["EHZ","EHN","EHE"],"sampleRate":100,)"
       R"("sensitivity":)" + sensitivities[0].str() +
           R"(,"frequency":1,"inputUnits":"V","latitude":0,"longitude":0,"elevation":0,"poles":0})"},
      {"geophone with poles and zeros", geophone,
       R"({"network":"XX","station":"V015","location":"","channels":["EHZ","EHN","EHE"],"sampleRate":100,)"
       R"("sensitivity":)" + sensitivities[1].str() +
           R"(,"frequency":1,"inputUnits":"m/s","latitude":47.12345,"longitude":8.12345,"elevation":512.5,"poles":2})"},
      {"accelerometer, gain only", accelerometer,
       R"({"network":"GR","station":"ACC1","location":"00","channels":["HNZ"],"sampleRate":200,)"
       R"("sensitivity":)" + sensitivities[2].str() +
           R"(,"frequency":5,"inputUnits":"m/s**2","latitude":0,"longitude":0,"elevation":0,"poles":0})"},
  };
  ScratchDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.legend);
    std::string error;
    ASSERT_TRUE(WriteStationXml(row.description, dir.File("station.xml"), error)) << error;
    EXPECT_EQ(RunCommand("xmllint --noout " + dir.File("station.xml")).status, 0);
    const Outcome read = RunCommand("node " + script + " " + dir.File("station.xml") + " '" + row.expected + "'");
    EXPECT_EQ(read.status, 0) << read.output;
  }
}

TEST(StationXml, WritingReplacesTheOldDocumentWholeAndLeavesNoTemporary) {
  ScratchDir dir;
  { std::ofstream(dir.File("station.xml")) << "old"; }
  std::string error;
  ASSERT_TRUE(WriteStationXml(ThreeChannels(), dir.File("station.xml"), error)) << error;
  EXPECT_EQ(Slurp(dir.File("station.xml")), StationXmlText(ThreeChannels()));
  EXPECT_FALSE(std::filesystem::exists(dir.File("station.xml.part")));
  EXPECT_FALSE(WriteStationXml(ThreeChannels(), dir.File("missing/station.xml"), error));
  EXPECT_NE(error.find("missing/station.xml.part"), std::string::npos) << error;
}

TEST(StationXml, ARecordingDescribesItsStationWithTheGpsPositionItReports) {
  ScratchDir dir;
  // The corpus's device reports the placeholder's fixed position; this
  // copy reports a real one in every GPS record.
  std::string bytes = Slurp(Data("corpus/rate-200-3ch/recording.bin"));
  size_t replaced = 0;
  for (size_t at = 0; (at = bytes.find("+5200000+01300000", at)) != std::string::npos; ++replaced) {
    bytes.replace(at, 17, "-3392500+01842300");
  }
  ASSERT_GT(replaced, 2u);
  { std::ofstream(dir.File("placed.bin"), std::ios::binary) << bytes; }
  StationDescription d;
  std::string problem;
  ASSERT_TRUE(DescribeRecording(dir.File("placed.bin"), CodeChoices{}, d, problem)) << problem;
  EXPECT_EQ(d.channels, 3);
  EXPECT_EQ(d.rate, 200);
  EXPECT_EQ(d.gain, 16);
  EXPECT_EQ(d.codes.station, "V015");
  EXPECT_EQ(d.codes.channels[2], "EHE");
  ASSERT_TRUE(d.position);
  EXPECT_DOUBLE_EQ(d.position->latitude, -33.925);
  EXPECT_DOUBLE_EQ(d.position->longitude, 18.423);
  ASSERT_TRUE(DescribeRecording(Data("corpus/rate-200-3ch/recording.bin"), CodeChoices{}, d, problem));
  EXPECT_FALSE(d.position);
  EXPECT_FALSE(DescribeRecording(Data("corpus/text-only/recording.bin"), CodeChoices{}, d, problem));
  EXPECT_NE(problem.find("not a recording"), std::string::npos);
}

TEST(VoxaConvertStationXml, WritesWithOrWithoutTheArchiveAndRefusesBadOptions) {
  ScratchDir dir;
  const std::string convert = VOXA_CONVERT_EXECUTABLE;
  const std::string recording = Data("corpus/rate-100-3ch/recording.bin");
  struct Row {
    std::string arguments;
    int status;
    std::string says;
  };
  const Row rows[] = {
      {"--stationxml " + dir.File("a.xml") + " --sensitivity 28.8 " + recording, 0, "3 channels at 100 sps, gain 16"},
      {"--stationxml=" + dir.File("b.xml") + " --out " + dir.File("archive") + " --station ST1 " + recording, 0,
       "XX.ST1..EHZ"},
      {"--stationxml " + dir.File("c.xml") + " --sensitivity -1 " + recording, 2, "not a positive number"},
      {"--stationxml " + dir.File("c.xml") + " --sensitivity 1 --sensor-unit g " + recording, 2, "neither m/s"},
      {"--stationxml " + dir.File("c.xml") + " --position 95,0 " + recording, 2, "bad position"},
      {"--sensitivity 28.8 --out " + dir.File("archive") + " " + recording, 2, "are for --stationxml"},
      {"--stationxml " + dir.File("c.xml") + " " + Data("corpus/text-only/recording.bin"), 1, "no StationXML written"},
      {"--stationxml " + dir.File("none/c.xml") + " " + recording, 3, "cannot create"},
      {"--version", 0, "voxa-convert "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    const Outcome outcome = RunCommand(convert + " " + row.arguments);
    EXPECT_EQ(outcome.status, row.status) << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos) << outcome.output;
  }
  const std::string a = Slurp(dir.File("a.xml"));
  const size_t value = a.find("<Value>", a.find("<InstrumentSensitivity>"));
  ASSERT_NE(value, std::string::npos) << a;
  EXPECT_DOUBLE_EQ(std::stod(a.substr(value + 7)), 28.8 * 16 / 2.4414e-7);
  EXPECT_NE(Slurp(dir.File("b.xml")).find("<Station code=\"ST1\""), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("archive/2026/XX/ST1/EHZ.D")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.xml")));
}

}  // namespace
}  // namespace voxa::test
