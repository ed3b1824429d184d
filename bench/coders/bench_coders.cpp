// Encodes and decodes the same data with our coders, coreutils base64 and
// Python's binascii/quopri, and prints MB/s of each with the ratios.
// Our coders run as the composer and parser use them: base64 in 57-byte
// blocks onto CR LF lines, decoding line by line, quoted-printable from a
// byte buffer to lines.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <unistd.h>

#include "mail/msmime.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr size_t kChunk = 1 << 16;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void writeFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Mail-like text: words, a few 8-bit letters, CR LF lines of varied length.
std::string makeText(std::mt19937& rng, size_t size) {
    std::string s;
    s.reserve(size + 200);
    size_t col = 0;
    while (s.size() < size) {
        const int len = 1 + static_cast<int>(rng() % 9);
        for (int i = 0; i < len; ++i)
            s += rng() % 40 == 0 ? static_cast<char>(0xe0 + rng() % 16)
                                 : static_cast<char>('a' + rng() % 26);
        col += static_cast<size_t>(len) + 1;
        if (col > 40 + rng() % 100) {
            s += "\r\n";
            col = 0;
        } else {
            s += rng() % 30 == 0 ? '=' : ' ';
        }
    }
    s.resize(size);
    return s;
}

double runTimed(const std::string& command) {
    const auto t0 = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        return -1;
    }
    return seconds(t0, Clock::now());
}

void report(const char* what, double mb, double ours, const std::map<std::string, double>& peers) {
    std::printf("%-22s quelta %8.1f MB/s", what, mb / ours);
    for (const auto& [name, t] : peers) {
        if (t <= 0)
            std::printf(" | %s n/a", name.c_str());
        else
            std::printf(" | %s %8.1f MB/s (quelta x%.2f)", name.c_str(), mb / t, t / ours);
    }
    std::printf("\n");
}

const char* kPythonPeer = R"(
import sys, time, binascii, quopri
kind, src = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
t = time.perf_counter()
if kind == 'b64enc':
    out = b''.join(binascii.b2a_base64(data[i:i + 57]) for i in range(0, len(data), 57))
elif kind == 'b64dec':
    out = binascii.a2b_base64(data)
elif kind == 'qpenc':
    out = quopri.encodestring(data)
print(time.perf_counter() - t)
)";

double python(const fs::path& dir, const std::string& kind, const fs::path& input) {
    const fs::path out = dir / "py.out";
    const std::string cmd = "/usr/bin/python3 '" + (dir / "peer.py").string() + "' " + kind + " '" +
                            input.string() + "' > '" + out.string() + "'";
    if (std::system(cmd.c_str()) != 0)
        return -1;
    return std::atof(readFile(out).c_str());
}

} // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 64;
    const size_t size = mib << 20;
    const double mb = static_cast<double>(size) / 1e6;
    std::mt19937 rng(64);

    char tmpl[] = "/tmp/bench_coders.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const fs::path dir = tmpl;
    writeFile(dir / "peer.py", kPythonPeer);

    std::printf("Coders on %zu MiB (MB = 10^6 bytes of input)\n", mib);

    // base64 encode
    std::string data(size, '\0');
    for (char& c : data)
        c = static_cast<char>(rng());
    writeFile(dir / "data.bin", data);
    // Like the peers, we stream through a small buffer into a file.
    auto t0 = Clock::now();
    {
        std::ofstream out(dir / "ours.b64", std::ios::binary);
        std::string chunk;
        chunk.reserve(kChunk + 100);
        for (size_t i = 0; i < size; i += 57) {
            EncodeBase64To(std::string_view(data).substr(i, 57), chunk);
            chunk += "\r\n";
            if (chunk.size() >= kChunk) {
                out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
                chunk.clear();
            }
        }
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    const double ourEnc = seconds(t0, Clock::now());
    const double cuEnc = runTimed("base64 -w 76 '" + (dir / "data.bin").string() + "' > '" +
                                  (dir / "data.b64").string() + "'");
    report("base64 encode", mb, ourEnc,
           {{"coreutils", cuEnc}, {"python", python(dir, "b64enc", dir / "data.bin")}});

    // base64 decode (the encoded text is the input; rate counted on the data)
    const std::string encoded = readFile(dir / "ours.b64");
    t0 = Clock::now();
    std::string chunk;
    size_t decodedBytes = 0;
    chunk.reserve(kChunk + 100);
    for (size_t pos = 0; pos < encoded.size();) {
        size_t eol = encoded.find("\r\n", pos);
        if (eol == std::string::npos)
            eol = encoded.size();
        DecodeBase64LineTo(std::string_view(encoded).substr(pos, eol - pos), chunk);
        if (chunk.size() >= kChunk) {
            decodedBytes += chunk.size();
            chunk.clear();
        }
        pos = eol + 2;
    }
    const double ourDec = seconds(t0, Clock::now());
    if (decodedBytes + chunk.size() != size)
        std::fprintf(stderr, "base64 decode gave %zu bytes, not %zu\n", decodedBytes + chunk.size(),
                     size);
    const double cuDec = runTimed("base64 -d '" + (dir / "data.b64").string() + "' > /dev/null");
    report("base64 decode", mb, ourDec,
           {{"coreutils", cuDec}, {"python", python(dir, "b64dec", dir / "ours.b64")}});

    // quoted-printable encode of mail-like text
    const std::string text = makeText(rng, size);
    writeFile(dir / "text.txt", text);
    t0 = Clock::now();
    {
        std::ofstream out(dir / "ours.qp", std::ios::binary);
        std::string qp;
        qp.reserve(kChunk + 200);
        EncodeQuotedPrintable(text, [&](std::string_view line) {
            qp.append(line);
            qp += "\r\n";
            if (qp.size() >= kChunk) {
                out.write(qp.data(), static_cast<std::streamsize>(qp.size()));
                qp.clear();
            }
        });
        out.write(qp.data(), static_cast<std::streamsize>(qp.size()));
    }
    const double ourQp = seconds(t0, Clock::now());
    report("quoted-printable enc", mb, ourQp, {{"python", python(dir, "qpenc", dir / "text.txt")}});

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
