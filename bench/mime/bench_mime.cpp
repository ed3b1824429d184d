// Parses and composes one generated corpus with our MIME classes, GMime
// (bench_mime_gmime) and Python's email package, each in its own process,
// and prints MB/s, messages/s, peak memory and the ratios.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mail/msmsg.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Result {
    double seconds = -1;
    long rssKiB = 0;
    long count = 0;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string data(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    return data;
}

long peakRss() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// The worker: our parser or composer over the files named on stdin.
int worker(const std::string& mode) {
    double seconds = 0;
    long count = 0;
    std::string path;
    while (std::getline(std::cin, path)) {
        if (path.empty())
            continue;
        if (mode == "parse") {
            // Read from the file as the peers do.
            const auto t0 = Clock::now();
            std::ifstream in(path, std::ios::binary);
            TmsMessage m;
            m.LoadFromStream(in);
            seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        } else {
            std::istringstream in(readFile(path), std::ios::binary);
            TmsMessage m;
            m.LoadFromStream(in);
            const auto t0 = Clock::now();
            std::ostringstream out;
            m.SaveToStream(out);
            seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        }
        ++count;
    }
    std::printf("%f %ld %ld\n", seconds, peakRss(), count);
    return 0;
}

const char* kPython = R"(
import sys, time, resource
from email import policy
from email.parser import BytesParser
from email.message import EmailMessage

mode = sys.argv[1]
seconds = 0.0
count = 0
for line in sys.stdin:
    path = line.strip()
    if not path:
        continue
    if mode == 'parse':
        t = time.perf_counter()
        msg = BytesParser(policy=policy.default).parsebytes(open(path, 'rb').read())
        for part in msg.walk():
            if not part.is_multipart():
                part.get_payload(decode=True)
        seconds += time.perf_counter() - t
    else:
        msg = BytesParser(policy=policy.default).parsebytes(open(path, 'rb').read())
        leaves = [(p.get_content_type(), p.get_filename(), p.get_payload(decode=True))
                  for p in msg.walk() if not p.is_multipart()]
        t = time.perf_counter()
        out = EmailMessage()
        out['Subject'] = msg['subject']
        out['From'] = msg['from']
        out['To'] = msg['to']
        out.set_content('')
        for ctype, name, data in leaves:
            main, sub = ctype.split('/')
            out.add_attachment(data, maintype=main, subtype=sub, filename=name)
        out.as_bytes()
        seconds += time.perf_counter() - t
    count += 1
print(seconds, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, count)
)";

Result run(const std::string& command) {
    Result r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    if (std::fscanf(p, "%lf %ld %ld", &r.seconds, &r.rssKiB, &r.count) != 3)
        r.seconds = -1;
    if (pclose(p) != 0)
        r.seconds = -1;
    return r;
}

std::string word(std::mt19937& rng) {
    std::string w;
    for (int i = 0, n = 2 + static_cast<int>(rng() % 8); i < n; ++i)
        w += static_cast<char>('a' + rng() % 26);
    return w;
}

std::string text(std::mt19937& rng, size_t size) {
    std::string s;
    size_t col = 0;
    while (s.size() < size) {
        std::string w = word(rng);
        if (rng() % 30 == 0)
            w += "\xe9";
        s += w;
        col += w.size() + 1;
        if (col > 60 + rng() % 20) {
            s += "\r\n";
            col = 0;
        } else {
            s += ' ';
        }
    }
    return s;
}

// Messages of 1 KiB to 5 MiB (sizes even on a log scale) with a text body,
// base64 files and quoted-printable text files, written by our composer.
std::vector<std::string> makeCorpus(const fs::path& dir, size_t totalBytes, size_t& written) {
    std::mt19937 rng(1103);
    std::vector<std::string> files;
    written = 0;
    while (written < totalBytes) {
        const double logSize = std::log(1024.0) + (std::log(5.0 * 1048576) - std::log(1024.0)) *
                                                      (rng() / double(rng.max()));
        const size_t size = static_cast<size_t>(std::exp(logSize));
        TmsMessage m;
        m.Sender() = TmsMailAddress(word(rng) + "@example.org", word(rng) + " " + word(rng));
        m.Recipients().Add(word(rng) + "@example.net", word(rng));
        m.SetSubject(word(rng) + " " + word(rng));
        m.Headers().Add("Date: Tue, 8 Dec 1998 12:34:56 +0100");
        m.Body().SetText(text(rng, std::min<size_t>(size / 4, 4096)));
        if (size > 2048) {
            auto bin = std::make_unique<TmsAttItem>();
            bin->SetFileName("file" + std::to_string(files.size()) + ".zip");
            std::string data(size * 2 / 3 * 3 / 4, '\0');
            for (char& c : data)
                c = static_cast<char>(rng());
            bin->SetData(std::move(data));
            m.Attachments().AddItem(std::move(bin));
            auto txt = std::make_unique<TmsAttItem>();
            txt->SetFileName("notes" + std::to_string(files.size()) + ".txt");
            txt->SetData(text(rng, size / 4));
            m.Attachments().AddItem(std::move(txt));
        }
        const std::string path = (dir / ("m" + std::to_string(files.size()) + ".eml")).string();
        std::ofstream out(path, std::ios::binary);
        m.SaveToStream(out);
        written += static_cast<size_t>(out.tellp());
        files.push_back(path);
    }
    return files;
}

void report(const char* what, double mb, long messages, const Result& ours,
            const std::vector<std::pair<std::string, Result>>& peers) {
    auto line = [&](const std::string& name, const Result& r) {
        if (r.seconds <= 0) {
            std::printf("  %-8s n/a\n", name.c_str());
            return;
        }
        std::printf("  %-8s %8.1f MB/s %9.1f msg/s  peak %7.1f MiB", name.c_str(), mb / r.seconds,
                    static_cast<double>(messages) / r.seconds,
                    static_cast<double>(r.rssKiB) / 1024);
        if (&r != &ours && ours.seconds > 0)
            std::printf("  (quelta x%.2f)", r.seconds / ours.seconds);
        std::printf("\n");
    };
    std::printf("%s\n", what);
    line("quelta", ours);
    for (const auto& [name, r] : peers)
        line(name, r);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--worker")
        return worker(argv[2]);
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 100;
    char tmpl[] = "/tmp/bench_mime.XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const fs::path dir = tmpl;
    size_t bytes = 0;
    const auto files = makeCorpus(dir, mib << 20, bytes);
    {
        std::ofstream list(dir / "list.txt");
        for (const auto& f : files)
            list << f << "\n";
        std::ofstream py(dir / "peer.py");
        py << kPython;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("Corpus: %zu messages, %.1f MB (1 KiB to 5 MiB each; base64 and "
                "quoted-printable attachments)\n",
                files.size(), mb);
    const std::string self = fs::canonical("/proc/self/exe").string();
    const std::string gmime = (fs::path(self).parent_path() / "bench_mime_gmime").string();
    const std::string list = " < '" + (dir / "list.txt").string() + "'";
    const std::string py = "/usr/bin/python3 '" + (dir / "peer.py").string() + "' ";
    for (const char* mode : {"parse", "compose"}) {
        const Result ours = run("'" + self + "' --worker " + mode + list);
        std::vector<std::pair<std::string, Result>> peers;
        if (fs::exists(gmime))
            peers.emplace_back("gmime", run("'" + gmime + "' " + mode + list));
        peers.emplace_back("python", run(py + mode + list));
        report(mode, mb, static_cast<long>(files.size()), ours, peers);
        if (std::string(mode) == "compose" && !peers.empty() && peers[0].first == "gmime" &&
            peers[0].second.seconds > 0 && ours.seconds > 0)
            std::printf("  quelta / gmime MB/s = %.2f   (goal >= 1.00)\n",
                        peers[0].second.seconds / ours.seconds);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
