// Parses and composes one generated corpus with our MIME classes, GMime
// (bench_mime_gmime) and Python's email package, each in its own process,
// and prints MB/s, messages/s, peak memory and the ratios.
//
// Composing is timed alike on every side: the message is built anew from
// the decoded parts of the parsed one (data handed over, not copied) and
// written whole, with CR LF line ends, into one memory buffer that the
// worker keeps from message to message. Each side then pays for composing
// and writing its output, not for how its memory stream grows (doubling
// with a copy in std::ostringstream, realloc in GMime's) nor for the fresh
// pages a load on the machine makes dear. Compose runs five times.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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
    long outBytes = 0; // what compose wrote
};

constexpr int kComposeRuns = 5;

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

// A new message from the decoded parts of a parsed one, as the GMime
// driver builds its own: the parts' data is handed over, not copied.
void buildFrom(TmsMessage& parsed, TmsMessage& m) {
    m.Sender().Assign(parsed.Sender());
    m.Recipients().Assign(parsed.Recipients());
    m.SetSubject(parsed.Subject());
    m.Body() = std::move(parsed.Body());
    for (int i = 0; i < parsed.Attachments().Count(); ++i) {
        TmsAttItem& part = parsed.Attachments()[i];
        auto copy = std::make_unique<TmsAttItem>();
        copy->SetFileName(part.FileName());
        copy->SetContentType(part.ContentType());
        copy->SetEncoding(part.Encoding());
        copy->SetData(std::move(part.Data()));
        m.Attachments().AddItem(std::move(copy));
    }
}

// The worker: our parser or composer over the files named on stdin.
int worker(const std::string& mode) {
    double seconds = 0;
    long count = 0;
    long outBytes = 0;
    std::string kept; // the output buffer, kept from message to message
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
            TmsMessage parsed;
            parsed.LoadFromStream(in);
            const auto t0 = Clock::now();
            TmsMessage m;
            buildFrom(parsed, m);
            kept.clear();
            std::ostringstream out(std::move(kept), std::ios::binary);
            m.SaveToStream(out);
            kept = std::move(out).str();
            seconds += std::chrono::duration<double>(Clock::now() - t0).count();
            outBytes += static_cast<long>(kept.size());
        }
        ++count;
    }
    std::printf("%f %ld %ld %ld\n", seconds, peakRss(), count, outBytes);
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
written = 0
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
        written += len(out.as_bytes(policy=policy.SMTP))
        seconds += time.perf_counter() - t
    count += 1
print(seconds, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, count, written)
)";

Result run(const std::string& command) {
    Result r;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return r;
    if (std::fscanf(p, "%lf %ld %ld %ld", &r.seconds, &r.rssKiB, &r.count, &r.outBytes) != 4)
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
        if (r.outBytes > 0)
            std::printf("  wrote %6.1f MB", static_cast<double>(r.outBytes) / 1e6);
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
    const bool haveGmime = fs::exists(gmime);
    const long messages = static_cast<long>(files.size());
    {
        const Result ours = run("'" + self + "' --worker parse" + list);
        std::vector<std::pair<std::string, Result>> peers;
        if (haveGmime)
            peers.emplace_back("gmime", run("'" + gmime + "' parse" + list));
        peers.emplace_back("python", run(py + "parse" + list));
        report("parse", mb, messages, ours, peers);
    }

    // Ours and GMime in turn, the one that goes first changing from run to
    // run; Python, far slower, once.
    std::printf("compose: %d runs\n", kComposeRuns);
    std::vector<Result> ours, theirs;
    std::vector<double> ratios;
    for (int i = 0; i < kComposeRuns; ++i) {
        Result q, g;
        if (i % 2 == 0)
            q = run("'" + self + "' --worker compose" + list);
        if (haveGmime)
            g = run("'" + gmime + "' compose" + list);
        if (i % 2 == 1)
            q = run("'" + self + "' --worker compose" + list);
        ours.push_back(q);
        theirs.push_back(g);
        std::printf("  run %d   quelta %8.1f MB/s", i + 1, q.seconds > 0 ? mb / q.seconds : 0.0);
        if (g.seconds > 0 && q.seconds > 0) {
            ratios.push_back(g.seconds / q.seconds);
            std::printf("   gmime %8.1f MB/s   quelta / gmime %.2f", mb / g.seconds, ratios.back());
        }
        std::printf("\n");
    }
    auto median = [](std::vector<Result> runs) {
        std::sort(runs.begin(), runs.end(),
                  [](const Result& a, const Result& b) { return a.seconds < b.seconds; });
        return runs[runs.size() / 2];
    };
    std::vector<std::pair<std::string, Result>> peers;
    if (haveGmime)
        peers.emplace_back("gmime", median(theirs));
    peers.emplace_back("python", run(py + "compose" + list));
    report("compose: medians (python: one run)", mb, messages, median(ours), peers);
    if (ratios.size() == static_cast<size_t>(kComposeRuns)) {
        std::sort(ratios.begin(), ratios.end());
        std::printf(
            "  quelta / gmime MB/s: median %.2f, lowest %.2f   (goal >= 1.00 in every run)\n",
            ratios[ratios.size() / 2], ratios.front());
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
