// The SeedLink server under a live stream: the simulated device writes its
// stream into a pseudo-terminal in real time (10 ms pieces, each block
// stamped when written); the event loop reads the other side into the run
// pipeline with the SeedLink feed and serves the ring on 127.0.0.1; clients
// on a thread of their own read the packets. Measured:
//   latency  from a block's write into the pty to the arrival, at a client,
//            of the record holding its sample (median and maximum over every
//            data sample), at 100 and 800 sps;
//   fan-out  CPU of the event-loop thread (acquisition and server, not the
//            clients) with 0, 1 and 32 clients at 800 sps x 3, and whether
//            every byte written to the pty was read;
//   abuse    one client that never reads and 1,000 connection attempts while
//            a client measures its latency.
//
// Usage: bench_seedlink [seconds per scenario] [fanout]   (default 30; fanout:
// only the CPU with 0, 1 and 32 clients, the least of 3 rounds in turns)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "analysis/raster.h"
#include "pipeline/host.h"
#include "pipeline/run_pipeline.h"
#include "seedlink_server/seedlink_server.h"
#include "tools/sim_stream.h"

namespace {

using namespace voxa;
using Clock = std::chrono::steady_clock;

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Scenario {
  int rate = 800;
  int clients = 0;
  bool abuse = false;
};

struct Result {
  double cpuShare = 0;  // of one core, the event-loop thread
  int64_t written = 0, read = 0;
  std::vector<double> latencies;  // seconds, client 0's data samples
  int64_t packets = 0;
};

// The clients: each subscribes to every channel from the next packet on.
class Clients : public QObject {
 public:
  Clients(uint16_t port, int count, Micros start, int rate, const std::vector<Clock::time_point>* written,
          std::atomic<int64_t>* writtenBlocks)
      : port_(port), count_(count), start_(start), rate_(rate), written_(written), writtenBlocks_(writtenBlocks) {}
  void Start() {
    for (int i = 0; i < count_; ++i) {
      auto* socket = new QTcpSocket(this);
      buffers_.emplace_back();
      const size_t index = buffers_.size() - 1;
      connect(socket, &QTcpSocket::readyRead, this, [this, socket, index] { Read(socket, index); });
      connect(socket, &QTcpSocket::connected, socket,
              [socket] { socket->write("STATION V015 XX\r\nSELECT ???.D\r\nDATA\r\nEND\r\n"); });
      socket->connectToHost(QHostAddress::LocalHost, port_);
    }
  }
  std::vector<double> latencies;
  std::atomic<int64_t> packets{0};

 private:
  void Read(QTcpSocket* socket, size_t index) {
    const auto now = Clock::now();
    QByteArray& buffer = buffers_[index];
    buffer += socket->readAll();
    for (;;) {
      if (buffer.startsWith("OK\r\n")) {
        buffer.remove(0, 4);
        continue;
      }
      if (buffer.size() < qsizetype(kSeedLinkPacketBytes)) break;
      RecordHeader header;
      const auto* record = reinterpret_cast<const uint8_t*>(buffer.constData() + 8);
      if (DecodeRecordHeader(record, kRecordLength, header)) {
        ++packets;
        const bool data = header.Channel()[0] != 'L' && header.Channel() != "GNS";
        if (index == 0 && data && header.samples > 0) {
          const Micros interval = kMicrosPerSecond / rate_;
          for (int32_t i = 0; i < header.samples; ++i) {
            const int64_t block = (header.start + i * interval - start_) / interval;
            if (block >= 0 && block < writtenBlocks_->load()) {
              latencies.push_back(std::chrono::duration<double>(now - (*written_)[size_t(block)]).count());
            }
          }
        }
      }
      buffer.remove(0, qsizetype(kSeedLinkPacketBytes));
    }
  }
  uint16_t port_;
  int count_;
  Micros start_;
  int rate_;
  const std::vector<Clock::time_point>* written_;
  std::atomic<int64_t>* writtenBlocks_;
  std::vector<QByteArray> buffers_;
};

Result Run(const Scenario& scenario, int seconds) {
  Result result;
  sim::SimOptions device;
  device.rate = scenario.rate;
  device.channels = 3;
  device.noise = 200;
  device.temperature = true;
  const auto nowUtc = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch()).count() + 2;
  const UtcFields f = FieldsOf(nowUtc * kMicrosPerSecond);
  device.start = {f.year, f.month, f.day, f.hour, f.minute, f.second};
  device.durationSeconds = seconds;
  const Micros start = nowUtc * kMicrosPerSecond;

  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);

  PacketRing ring(PacketRing::CapacityFor(16), 0);
  NullHost host;
  Raster raster(320, 160);
  RunPipeline pipeline(host, raster);
  pipeline.FeedSeedLink(&ring);
  MonitorOptions options;
  options.parameters = {device.rate, device.channels, device.gain};
  options.run.loadExtHeader = false;
  pipeline.Configure(options);
  const auto dir = std::filesystem::temp_directory_path() / ("voxa-bench-seedlink-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  pipeline.StartRun(options.run, (dir / "config.txt").string());
  pipeline.Arm({f.year, f.month, f.day, f.hour, f.minute, f.second}, start);
  pipeline.OpenOutputs(OutputPaths::In(dir.string()));

  SeedLinkOptions seedlink;
  seedlink.port = 0;
  seedlink.maxClients = 64;
  seedlink.maxPerAddress = 64;
  StationIdentity identity;
  identity.station = "V015";
  SeedLinkServer server(ring, seedlink, identity, "", {});
  std::string error;
  if (!server.Listen(error)) std::abort();

  // The device: real-time pieces of 10 ms, each block stamped as written.
  std::vector<Clock::time_point> written(size_t(seconds + 2) * size_t(device.rate));
  std::atomic<int64_t> writtenBlocks{0};
  std::atomic<bool> deviceDone{false};
  std::thread writer([&] {
    sim::StreamGenerator generator(device);
    std::vector<uint8_t> bytes;
    generator.Start(bytes);
    ::write(master, bytes.data(), bytes.size());
    result.written += int64_t(bytes.size());
    auto next = Clock::now();
    int64_t block = 0;
    while (!generator.Done()) {
      bytes.clear();
      generator.NextSecond(bytes);
      // 100 pieces a second, cut at block markers.
      std::vector<size_t> blockStarts;
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == sim::kBlockMarker || bytes[i] == sim::kSecondMarkMarker ||
            bytes[i] == sim::kAlternateBlockMarker) blockStarts.push_back(i);
      }
      const size_t perPiece = std::max<size_t>(1, blockStarts.size() / 100);
      for (size_t b = 0; b < blockStarts.size(); b += perPiece) {
        const size_t from = b == 0 ? 0 : blockStarts[b];
        const size_t to = b + perPiece < blockStarts.size() ? blockStarts[b + perPiece] : bytes.size();
        next += std::chrono::microseconds(1000000 * perPiece / blockStarts.size());
        std::this_thread::sleep_until(next);
        const auto stamp = Clock::now();
        for (size_t k = b; k < std::min(b + perPiece, blockStarts.size()); ++k) written[size_t(block++)] = stamp;
        writtenBlocks = block;
        for (size_t at = from; at < to;) {
          const ssize_t n = ::write(master, bytes.data() + at, to - at);
          if (n > 0) at += size_t(n);
        }
        result.written += int64_t(to - from);
      }
    }
    deviceDone = true;
  });

  // The port, read on the event loop as the run controller reads it.
  bool started = false;
  std::vector<uint8_t> buffer(4096);
  QSocketNotifier notifier(slave, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    const ssize_t n = ::read(slave, buffer.data(), buffer.size());
    if (n <= 0) return;
    result.read += n;
    size_t at = 0;
    if (!started) {
      while (at < size_t(n) && buffer[at] < 0x80) ++at;
      if (at == size_t(n)) return;
      pipeline.StartStream(buffer[at++]);
      started = true;
    }
    while (at < size_t(n)) at += pipeline.Feed(buffer.data() + at, size_t(n) - at);
  });

  QThread clientThread;
  Clients clients(server.Port(), scenario.clients, start, device.rate, &written, &writtenBlocks);
  clients.moveToThread(&clientThread);
  clientThread.start();
  QMetaObject::invokeMethod(&clients, [&] { clients.Start(); });

  // Abuse: a client that never reads, and 1,000 connections opened and closed.
  std::thread abuser;
  int stalled = -1;
  if (scenario.abuse) {
    abuser = std::thread([&, port = server.Port()] {
      stalled = ::socket(AF_INET, SOCK_STREAM, 0);
      int small = 4096;
      setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::connect(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address);
      const char request[] = "STATION V015 XX\r\nDATA 000000\r\nEND\r\n";
      ::write(stalled, request, sizeof request - 1);
      for (int i = 0; i < 1000; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::write(s, "HELLO\r\n", 7);
        ::close(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 1000 / 2000));
      }
    });
  }

  const double cpuStart = ThreadCpu();
  const auto wallStart = Clock::now();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (deviceDone && Clock::now() - wallStart > std::chrono::seconds(seconds + 2)) QCoreApplication::quit();
  });
  poll.start(100);
  QCoreApplication::exec();
  const double cpu = ThreadCpu() - cpuStart;
  const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
  writer.join();
  if (abuser.joinable()) abuser.join();
  if (stalled >= 0) ::close(stalled);
  QMetaObject::invokeMethod(&clients, [&] { clients.moveToThread(QCoreApplication::instance()->thread()); },
                            Qt::BlockingQueuedConnection);
  clientThread.quit();
  clientThread.wait();
  pipeline.Finish();
  pipeline.CloseOutputs();
  ::close(master);
  ::close(slave);
  std::filesystem::remove_all(dir);
  result.cpuShare = cpu / wall;
  result.latencies = clients.latencies;
  result.packets = clients.packets;
  return result;
}

void Report(const char* name, Result r) {
  std::sort(r.latencies.begin(), r.latencies.end());
  const double median = r.latencies.empty() ? 0 : r.latencies[r.latencies.size() / 2];
  const double max = r.latencies.empty() ? 0 : r.latencies.back();
  std::printf("%-34s CPU %5.2f%% of a core  bytes written %lld read %lld (dropped %lld)  packets %lld", name,
              100 * r.cpuShare, static_cast<long long>(r.written), static_cast<long long>(r.read),
              static_cast<long long>(r.written - r.read), static_cast<long long>(r.packets));
  if (!r.latencies.empty()) std::printf("  latency median %.2f s max %.2f s", median, max);
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;
  if (argc > 2 && std::string(argv[2]) == "fanout") {
    // CPU only, in turns, the least of 3 rounds each: other work on the
    // machine only ever adds to a round.
    double least[3] = {1, 1, 1};
    const int counts[3] = {0, 1, 32};
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < 3; ++i) least[i] = std::min(least[i], Run({800, counts[i], false}, seconds).cpuShare);
    }
    for (int i = 0; i < 3; ++i) std::printf("800 sps x 3, %2d clients: least CPU %.2f%% of a core\n", counts[i], 100 * least[i]);
    return 0;
  }
  Report("100 sps x 3, 1 client", Run({100, 1, false}, seconds));
  Report("800 sps x 3, 0 clients", Run({800, 0, false}, seconds));
  Report("800 sps x 3, 1 client", Run({800, 1, false}, seconds));
  Report("800 sps x 3, 32 clients", Run({800, 32, false}, seconds));
  Report("800 sps x 3, stalled + 1000 conns", Run({800, 1, true}, seconds));
  return 0;
}
