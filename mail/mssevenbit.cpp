#include "mail/mssevenbit.h"

#include "mail/msmime.h"
#include "mail/msoutgoing.h"
#include "mail/msutils.h"

namespace {

// Deeper nesting than this is kept as one leaf.
constexpr int kMaxDepth = 50;

// The lines of a text without their breaks (CR LF, LF or CR), and whether
// the text ended with one.
std::vector<std::string_view> SplitLines(std::string_view text, bool& endsWithBreak) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    endsWithBreak = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    else
        endsWithBreak = !text.empty();
    return lines;
}

bool SafeLine(std::string_view line) {
    if (line.size() > kMaxLineLength)
        return false;
    for (unsigned char c : line)
        if (c >= 128 || c == 0)
            return false;
    return true;
}

bool SafeLines(const std::vector<std::string_view>& lines) {
    for (std::string_view l : lines)
        if (!SafeLine(l))
            return false;
    return true;
}

std::string Join(const std::vector<std::string_view>& lines, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        if (i > from)
            out += "\r\n";
        out += lines[i];
    }
    return out;
}

bool IsBlankChar(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.back()))
        s.remove_suffix(1);
    return s;
}

// One header field: its first line and continuation lines.
struct TField {
    std::vector<std::string_view> Lines;
    [[nodiscard]] std::string Name() const {
        const std::size_t colon = Lines[0].find(':');
        return colon == std::string_view::npos ? std::string() : Trim(Lines[0].substr(0, colon));
    }
    [[nodiscard]] std::string Value() const {
        const std::size_t colon = Lines[0].find(':');
        std::string v(colon == std::string_view::npos ? std::string_view()
                                                      : Lines[0].substr(colon + 1));
        for (std::size_t k = 1; k < Lines.size(); ++k)
            v += Lines[k];
        return Trim(v);
    }
};

std::vector<TField> Fields(const std::vector<std::string_view>& lines, std::size_t end) {
    std::vector<TField> fields;
    for (std::size_t i = 0; i < end; ++i) {
        if (!fields.empty() && !lines[i].empty() && IsBlankChar(lines[i][0]))
            fields.back().Lines.push_back(lines[i]);
        else
            fields.push_back({{lines[i]}});
    }
    return fields;
}

std::string FieldValue(const std::vector<TField>& fields, std::string_view name) {
    for (const TField& f : fields)
        if (SameText(f.Name(), name))
            return f.Value();
    return {};
}

std::string Base64Lines(std::string_view data) {
    std::string out;
    for (std::size_t pos = 0; pos < data.size(); pos += 57) {
        EncodeBase64To(data.substr(pos, 57), out);
        out += "\r\n";
    }
    if (!out.empty())
        out.resize(out.size() - 2);
    return out;
}

std::string QuotedPrintableLines(std::string_view data) {
    std::string out;
    EncodeQuotedPrintable(data, [&](std::string_view line) {
        if (!out.empty())
            out += "\r\n";
        out += line;
    });
    return out;
}

std::string Entity(std::string_view entity, int depth, std::vector<std::string>& notes);

std::string Multipart(std::string_view body, std::string_view boundary, int depth,
                      std::vector<std::string>& notes) {
    bool endsWithBreak = false;
    const std::vector<std::string_view> lines = SplitLines(body, endsWithBreak);
    const std::string delimiter = "--" + std::string(boundary);
    auto kind = [&](std::string_view line) {
        const std::string_view l = TrimRight(line);
        if (l == delimiter)
            return 1;
        if (l.size() == delimiter.size() + 2 && l.starts_with(delimiter) && l.ends_with("--"))
            return 2;
        return 0;
    };
    std::string out;
    std::size_t i = 0;
    while (i < lines.size() && kind(lines[i]) == 0)
        ++i;
    if (i == lines.size()) {
        // No delimiter at all: no parts, all of it what readers never show.
        std::vector<std::string_view> kept;
        for (std::string_view l : lines)
            if (SafeLine(l))
                kept.push_back(l);
        return Join(kept, 0, kept.size()) + (endsWithBreak && !kept.empty() ? "\r\n" : "");
    }
    if (i > 0 && SafeLines({lines.begin(), lines.begin() + static_cast<long>(i)}))
        out += Join(lines, 0, i) + "\r\n";
    bool closed = false;
    while (i < lines.size() && !closed) {
        if (kind(lines[i]) == 2) {
            closed = true;
            break;
        }
        const std::size_t start = i + 1;
        std::size_t end = start;
        while (end < lines.size() && kind(lines[end]) == 0)
            ++end;
        out += delimiter + "\r\n";
        out += Entity(Join(lines, start, end), depth + 1, notes) + "\r\n";
        i = end;
    }
    out += delimiter + "--";
    if (closed && i + 1 < lines.size()) {
        const std::vector<std::string_view> epilogue(lines.begin() + static_cast<long>(i) + 1,
                                                     lines.end());
        if (SafeLines(epilogue))
            out += "\r\n" + Join(epilogue, 0, epilogue.size());
    }
    if (endsWithBreak)
        out += "\r\n";
    return out;
}

std::string Entity(std::string_view entity, int depth, std::vector<std::string>& notes) {
    bool endsWithBreak = false;
    const std::vector<std::string_view> lines = SplitLines(entity, endsWithBreak);
    std::size_t blank = 0;
    while (blank < lines.size() && !lines[blank].empty())
        ++blank;
    const std::vector<TField> fields = Fields(lines, blank);
    const bool hasBody = blank < lines.size();
    // The body as bytes: what follows the empty line, breaks included.
    std::string_view body;
    if (hasBody) {
        std::size_t offset = 0;
        for (std::size_t n = 0; n <= blank && offset < entity.size();) {
            const char c = entity[offset++];
            if (c == '\r' && offset < entity.size() && entity[offset] == '\n')
                ++offset;
            if (c == '\r' || c == '\n')
                ++n;
        }
        body = entity.substr(std::min(offset, entity.size()));
    }

    const std::string typeValue = FieldValue(fields, "Content-Type");
    std::string type = LowerCase(GetFirstToken(typeValue));
    if (type.empty())
        type = "text/plain";
    const std::string cte =
        LowerCase(GetFirstToken(FieldValue(fields, "Content-Transfer-Encoding")));
    const bool composite =
        depth < kMaxDepth &&
        (type.starts_with("multipart/") || type == "message/rfc822" || type == "message/global");
    const std::string boundary = GetHeaderParam("boundary", typeValue);

    std::string newBody;
    std::string newCte; // the field to write, "" to keep what stands
    bool bodyEnds = endsWithBreak;
    bool endsWithBreakBody = false;
    const std::vector<std::string_view> bodyLines = SplitLines(body, endsWithBreakBody);
    if (!hasBody || SafeLines(bodyLines)) {
        newBody = std::string(body);
        bodyEnds = false;
    } else if (composite && type.starts_with("multipart/") && !boundary.empty()) {
        newBody = Multipart(body, boundary, depth, notes);
        bodyEnds = false;
        if (!cte.empty() && cte != "7bit")
            newCte = "7bit";
    } else if (composite && type.starts_with("message/")) {
        newBody = Entity(body, depth + 1, notes);
        bodyEnds = false;
        if (!cte.empty() && cte != "7bit")
            newCte = "7bit";
    } else if (cte == "base64") {
        // Only its lines are too long or carry stray bytes: the letters
        // again, in lines of 76.
        std::string letters;
        for (char c : body)
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '+' || c == '/' || c == '=')
                letters += c;
        for (std::size_t at = 0; at < letters.size(); at += 76) {
            if (at)
                newBody += "\r\n";
            newBody += letters.substr(at, 76);
        }
        bodyEnds = endsWithBreakBody;
    } else {
        std::string data;
        if (cte == "quoted-printable") {
            QPDecoder decoder(data);
            for (std::string_view l : bodyLines)
                decoder.Line(l);
            if (!endsWithBreakBody && decoder.HardBreak())
                data.resize(data.size() - 2);
        } else {
            data = Join(bodyLines, 0, bodyLines.size());
            if (endsWithBreakBody)
                data += "\r\n";
        }
        const bool text = type.starts_with("text/") || type.starts_with("message/");
        newBody = text ? QuotedPrintableLines(data) : Base64Lines(data);
        newCte = text ? "quoted-printable" : "base64";
        bodyEnds = endsWithBreakBody;
    }

    std::string out;
    bool wroteCte = false;
    for (const TField& f : fields) {
        if (!newCte.empty() && SameText(f.Name(), "Content-Transfer-Encoding")) {
            if (!wroteCte)
                out += "Content-Transfer-Encoding: " + newCte + "\r\n";
            wroteCte = true;
            continue;
        }
        for (const std::string& l : OutgoingField(f.Lines, true, notes))
            out += l + "\r\n";
    }
    if (!newCte.empty() && !wroteCte)
        out += "Content-Transfer-Encoding: " + newCte + "\r\n";
    if (!hasBody) {
        if (!endsWithBreak && !out.empty())
            out.resize(out.size() - 2);
        return out;
    }
    out += "\r\n" + newBody;
    if (bodyEnds)
        out += "\r\n";
    return out;
}

} // namespace

std::string SevenBitEntity(std::string_view entity, std::vector<std::string>& notes) {
    return Entity(entity, 0, notes);
}

std::string SevenBitMultipart(std::string_view body, std::string_view boundary,
                              std::vector<std::string>& notes) {
    return Multipart(body, boundary, 0, notes);
}
