#include "decode/ArticleDecoder.h"
#include "tests/support/ShellQuote.h"
#include "tests/support/TempDir.h"
#include "tests/support/YEncPost.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBodyBytes = 64u << 20;

// Random bytes from a small generator: fast enough to make a fresh body for every iteration.
class ByteSource {
  public:
    uint8_t next() {
        if (left_ == 0) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            word_ = state_;
            left_ = 8;
        }
        --left_;
        uint8_t byte = static_cast<uint8_t>(word_);
        word_ >>= 8;
        return byte;
    }

  private:
    uint64_t state_ = 0x9E3779B97F4A7C15ull;
    uint64_t word_ = 0;
    int left_ = 0;
};

// An article of about kBodyBytes: headers, an empty line and one uuencoded file in 61-character lines.
void MakeUUArticle(std::vector<char>& body) {
    body.clear();
    body.reserve(kBodyBytes + 4096);
    const std::string head =
        "From: bench@example.com\r\nSubject: bench.bin (1/1)\r\n\r\nbegin 644 bench.bin\r\n";
    body.insert(body.end(), head.begin(), head.end());
    ByteSource source;
    auto put = [&](unsigned v) { body.push_back(static_cast<char>(v ? v + 32 : '`')); };
    while (body.size() + 64 < kBodyBytes) {
        body.push_back('M');
        for (int group = 0; group < 15; ++group) {
            unsigned a = source.next(), b = source.next(), c = source.next();
            put(a >> 2);
            put((a & 3) << 4 | b >> 4);
            put((b & 15) << 2 | c >> 6);
            put(c & 63);
        }
        body.push_back('\r');
        body.push_back('\n');
    }
    const std::string tail = "`\r\nend\r\n";
    body.insert(body.end(), tail.begin(), tail.end());
}

// A MIME article of about kBodyBytes with one base64 attachment in 76-character lines.
void MakeBase64Article(std::vector<char>& body) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    body.clear();
    body.reserve(kBodyBytes + 4096);
    const std::string head = "From: bench@example.com\r\nSubject: bench.bin\r\nMIME-Version: 1.0\r\n"
                             "Content-Type: multipart/mixed; boundary=\"=_bench_boundary\"\r\n\r\n"
                             "This is a multi-part message in MIME format.\r\n--=_bench_boundary\r\n"
                             "Content-Type: application/octet-stream; name=\"bench.bin\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment; filename=\"bench.bin\"\r\n\r\n";
    body.insert(body.end(), head.begin(), head.end());
    ByteSource source;
    while (body.size() + 128 < kBodyBytes) {
        for (int group = 0; group < 19; ++group) {
            unsigned bits = source.next() << 16 | source.next() << 8 | source.next();
            for (int shift = 18; shift >= 0; shift -= 6) {
                body.push_back(kAlphabet[(bits >> shift) & 63]);
            }
        }
        body.push_back('\r');
        body.push_back('\n');
    }
    const std::string tail = "--=_bench_boundary--\r\n";
    body.insert(body.end(), tail.begin(), tail.end());
}

// A yEnc article of about kBodyBytes: headers, an empty line and one single-part post made by python3-yenc
// (128-character lines). Made once, since the encoder takes a while, and kept in a file so that it does not
// count in the peak memory of the decoding.
const std::string& YencArticleFile() {
    static TempDir dir;
    static const std::string path = [] {
        std::string bytes(kBodyBytes - kBodyBytes / 32, '\0');
        ByteSource source;
        for (char& c : bytes) {
            c = static_cast<char>(source.next());
        }
        std::vector<std::string> post = YEncPost(bytes, "bench.bin", 1);
        std::string file = dir.file("article");
        if (!post.empty()) {
            std::ofstream(file, std::ios::binary)
                << "From: bench@example.com\r\nSubject: \"bench.bin\" yEnc (1/1)\r\n\r\n"
                << post[0];
        }
        return file;
    }();
    return path;
}

void MakeYencArticle(std::vector<char>& body) {
    std::ifstream in(YencArticleFile(), std::ios::binary | std::ios::ate);
    body.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0).read(body.data(), static_cast<std::streamsize>(body.size()));
}

// The peak resident size is measured from here on.
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakMemoryMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

void DecodeBench(benchmark::State& state, void (*makeArticle)(std::vector<char>&)) {
    TempDir dir;
    std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    std::vector<char> body;
    double peak = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(dir.file("decodes"));
        std::filesystem::remove(out + "/bench.bin");
        makeArticle(body);
        ArticleDecoder decoder(dir.file("decodes"));
        decoder.setOutputDir(out.c_str());
        ResetPeakMemory();
        state.ResumeTiming();

        int code = decoder.DecodeArticle(body);

        state.PauseTiming();
        peak = std::max(peak, PeakMemoryMiB());
        if (code != 0 || decoder.resultCount() != 1 || decoder.result(0).status != 0) {
            state.SkipWithError("the article did not decode");
        }
        bytes += static_cast<int64_t>(body.size());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(bytes);
    state.counters["body_MiB"] = static_cast<double>(body.size()) / (1 << 20);
    state.counters["peak_rss_MiB"] = peak;
}

void BM_DecodeArticleUU(benchmark::State& state) {
    DecodeBench(state, MakeUUArticle);
}
void BM_DecodeArticleBase64(benchmark::State& state) {
    DecodeBench(state, MakeBase64Article);
}
void BM_DecodeArticleYenc(benchmark::State& state) {
    DecodeBench(state, MakeYencArticle);
}

// The same yEnc data decoded by Debian's python3-yenc (its C decoder, with its CRC, writing a file), timed
// inside the interpreter so that its start does not count.
void BM_DecodeYencPython(benchmark::State& state) {
    std::vector<char> article;
    MakeYencArticle(article);
    std::string_view text(article.data(), article.size());
    size_t data = text.find("\r\n", text.find("=ybegin")) + 2;
    size_t end = text.rfind("=yend");
    TempDir dir;
    std::ofstream(dir.file("data"), std::ios::binary)
        .write(text.data() + data, static_cast<long>(end - data));
    const std::string script = "import io, os, sys, time, yenc\n"
                               "data = open(sys.argv[1], 'rb').read()\n"
                               "if os.path.exists(sys.argv[2]): os.remove(sys.argv[2])\n"
                               "start = time.perf_counter()\n"
                               "with open(sys.argv[2], 'wb') as out: yenc.decode(io.BytesIO(data), out)\n"
                               "print(time.perf_counter() - start)\n";
    std::ofstream(dir.file("decode.py")) << script;
    const std::string command = "/usr/bin/python3 " + ShellQuote(dir.file("decode.py")) + " " +
                                ShellQuote(dir.file("data")) + " " + ShellQuote(dir.file("out"));
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = 0;
        if (!pipe || fscanf(pipe, "%lf", &seconds) != 1) {
            state.SkipWithError("python3-yenc did not run");
        }
        if (pipe) {
            pclose(pipe);
        }
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (end - data)));
}

} // namespace

BENCHMARK(BM_DecodeArticleUU)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeArticleBase64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeArticleYenc)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeYencPython)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
