#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>

#include "nntp/NntpConnection.h"
#include "platform/Memory.h"
#include "tests/support/FakeNewsServer.h"

namespace {

constexpr size_t kLineLength = 80;
// Nearly the largest body the client takes.
constexpr size_t kTotalBytes = NntpConnection::kMaxArticleBytes - (1u << 20);

// 1 MiB of numbered 80-byte lines (CR LF included).
const std::string& LineChunk() {
    static const std::string chunk = [] {
        std::string text;
        for (size_t i = 0; text.size() < (1u << 20); ++i) {
            std::string line = "line " + std::to_string(i) + " ";
            line.resize(kLineLength - 2, 'x');
            text += line + "\r\n";
        }
        text.resize((1u << 20) / kLineLength * kLineLength);
        return text;
    }();
    return chunk;
}

// A loopback peer that answers "send" with kTotalBytes of 80-byte lines, and "body" with the same as an
// article body.
// Connects to the peer; a failure is reported on the benchmark.
bool Connected(NntpConnection& connection, benchmark::State& state) {
    if (connection.Connect() == 1) {
        return true;
    }
    state.SkipWithError("cannot connect to the loopback peer");
    return false;
}

std::unique_ptr<FakeNewsServer> StartPeer(size_t* bytesPerRequest) {
    auto peer = std::make_unique<FakeNewsServer>();
    const std::string& chunk = LineChunk();
    size_t chunks = kTotalBytes / chunk.size();
    *bytesPerRequest = chunks * chunk.size();
    peer->Handle("send", [&chunk, chunks](FakeNewsSession& session, const std::string&) {
        for (size_t i = 0; i < chunks && session.IsOpen(); ++i) {
            session.Send(chunk);
        }
    });
    peer->Handle("body", [&chunk, chunks](FakeNewsSession& session, const std::string&) {
        session.Send("222 1 <bench@spindrel> body\r\n");
        for (size_t i = 0; i < chunks && session.IsOpen(); ++i) {
            session.Send(chunk);
        }
        session.Send(".\r\n");
    });
    return peer;
}

void BM_LoopbackRawReceive(benchmark::State& state) {
    size_t perRequest = 0;
    auto peer = StartPeer(&perRequest);
    std::optional<HostPort> endpoint = ParseHostPort(peer->Address());
    TcpSocket socket;
    if (!socket.Connect(*ResolveAddress(endpoint->host, endpoint->port), 5000)) {
        state.SkipWithError("cannot connect to the loopback peer");
        return;
    }
    std::array<char, NntpConnection::kReceiveBlockSize> block;
    std::string greeting = "200 fake news server ready\r\n";
    for (size_t got = 0; got < greeting.size();) {
        got += socket.Receive(block.data(), greeting.size() - got, 1000).count;
    }
    for (auto _ : state) {
        socket.Send("send\r\n", 6, 5000);
        size_t received = 0;
        while (received < perRequest) {
            ReceiveResult result = socket.Receive(block.data(), block.size(), 1000);
            if (result.status != ReceiveStatus::Data && result.status != ReceiveStatus::TimedOut) {
                state.SkipWithError("peer went away");
                return;
            }
            received += result.count;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perRequest));
}
BENCHMARK(BM_LoopbackRawReceive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoopbackReadLine(benchmark::State& state) {
    size_t perRequest = 0;
    auto peer = StartPeer(&perRequest);
    NntpConnection connection(peer->Address());
    if (!Connected(connection, state)) {
        return;
    }
    for (auto _ : state) {
        connection.SendText("send\r\n");
        size_t received = 0;
        std::string line;
        while (received < perRequest && !connection.IsDisconnected()) {
            if (connection.ReadLine(line)) {
                received += line.size();
            }
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perRequest));
}
BENCHMARK(BM_LoopbackReadLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoopbackFetchBody(benchmark::State& state) {
    ReuseLargeAllocations(); // as the programs do at start
    size_t perRequest = 0;
    auto peer = StartPeer(&perRequest);
    NntpConnection connection(peer->Address());
    if (!Connected(connection, state)) {
        return;
    }
    DownloadRunning.store(1);
    for (auto _ : state) {
        std::optional<std::string> body =
            connection.FetchBody(1, static_cast<long>(perRequest / kLineLength), nullptr);
        if (!body || body->size() != perRequest) {
            state.SkipWithError("the body did not arrive whole");
            break;
        }
    }
    DownloadRunning.store(0);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perRequest));
}
BENCHMARK(BM_LoopbackFetchBody)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
