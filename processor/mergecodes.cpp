#include "processor/mergecodes.h"

#include "mail/mscharset.h"
#include "mail/msmsg.h"
#include "platform/basic/engine.h"
#include "platform/win/formatdatetime.h"
#include "processor/agentfile.h"
#include "processor/autoreply.h"

#include <optional>

namespace quelta {

namespace {

void Log(const TMergeContext& ctx, const std::string& text) {
    if (ctx.Log)
        ctx.Log(text);
}

// "<<" and ">>" of a line: only the first of each counts.
struct CodeSpan {
    size_t open = std::string::npos;
    size_t close = std::string::npos;
    [[nodiscard]] bool found() const {
        return open != std::string::npos && close != std::string::npos;
    }
    [[nodiscard]] std::string code(const std::string& line) const {
        return close >= open + 2 ? line.substr(open + 2, close - open - 2) : std::string();
    }
    // The text before "<<", the value, and the text after ">>".
    [[nodiscard]] std::string replace(const std::string& line, const std::string& value) const {
        return line.substr(0, open) + (value.empty() ? std::string(kNoValue) : value) +
               line.substr(close + 2);
    }
};

CodeSpan FindCode(const std::string& line) {
    return {line.find("<<"), line.find(">>")};
}

// The value of REPLYFIELD: the text after "=" of the last body line that
// starts with the field name.
std::string ReplyField(const TmsCustomMessage& repliedTo, const std::string& field,
                       const std::function<void(const std::string&)>& onMatch = {},
                       bool utf8 = false) {
    std::string value;
    const std::string upField = UpperAZ(field);
    for (const auto& raw : repliedTo.Body().Lines()) {
        const std::string line = utf8 ? BodyLineInUtf8(repliedTo, raw) : raw;
        if (line.size() < field.size() || UpperAZ(line.substr(0, field.size())) != upField)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        value = line.substr(eq + 1, line.size() - field.size());
        if (onMatch)
            onMatch(value);
    }
    return value;
}

// Bytes of UTF-8 text up to at most n, never inside a character.
size_t Utf8Prefix(const std::string& text, size_t n) {
    if (n >= text.size())
        return text.size();
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::string NowText(const std::string& format) {
    return win::FormatDateTime(format, win::Now());
}

// The value of one code with "~"; nullopt when the script engine raised and
// the line is to stay as it is.
std::optional<std::string> Evaluate(const std::string& command, const std::string& param,
                                    const TmsCustomMessage& repliedTo, const TMergeContext& ctx) {
    const std::string cmd = UpperAZ(command);
    const std::string par = UpperAZ(param);
    std::string v;
    if (cmd == "REPLYHEADER") {
        v = ctx.Utf8 ? HeaderInUtf8(repliedTo, param) : repliedTo.Headers().GetFieldValue(param);
        if (par == "FROMNAME") {
            v = ctx.Utf8 ? SenderInUtf8(repliedTo).Name() : repliedTo.Sender().Name();
        } else if (par == "FROMADDRESS") {
            v = repliedTo.Sender().Address();
        } else if (par == "BODY") {
            v.clear();
            for (const auto& line : repliedTo.Body().Lines())
                v += (ctx.Utf8 ? BodyLineInUtf8(repliedTo, line) : line) + "\r\n";
            if (v.size() > 4000)
                v.resize(ctx.Utf8 ? Utf8Prefix(v, 3000) : 3000);
        }
    } else if (cmd == "REPLYFIELD") {
        v = ReplyField(repliedTo, param, {}, ctx.Utf8);
    } else if (cmd == "EXPRESSION" || cmd == "SCRIPTCOMMAND") {
        if (!ctx.Preview && !param.empty() && ctx.Evaluate) {
            std::string result;
            if (!ctx.Evaluate(param, result))
                return std::nullopt;
            v = result.size() >= 2 ? result.substr(1, result.size() - 2) : std::string();
        }
    } else if (cmd == "SCRIPT") {
        // no value
    } else if (cmd == "SYSTEM") {
        const auto& fs = win::DefaultFormatSettings();
        if (par == "DATETIME" || par == "TIME") {
            v = NowText(fs.ShortDateFormat + " " + fs.LongTimeFormat);
        } else if (par == "DATE") {
            v = NowText(fs.ShortDateFormat);
        } else if (par == "CURRENTNODE") {
            v = ctx.Preview ? "" : ctx.NodeName;
        } else if (par == "CURRENTNODEADDRESS") {
            v = ctx.Preview ? "" : ctx.NodeAddress;
        } else if (par == "VERSION") {
            v = ctx.VersionText;
        } else if (par.compare(0, 14, "FORMATDATETIME") == 0) {
            size_t paren = param.find('(');
            if (paren == std::string::npos) {
                Log(ctx, "The FORMATDATETIME command is missing paramaters, please see the "
                         "documentation on how to use this merge code");
            } else {
                std::string format;
                if (param.size() > 16)
                    format = param.substr(paren + 1, param.size() - 16);
                Log(ctx, "Formatting date time according to " + format);
                v = NowText(format);
            }
        }
    }
    // Values of other sources (the account's row, a script) meet the
    // UTF-8 text as UTF-8 too.
    return ctx.Utf8 ? TextToUtf8(v, "") : v;
}

// Replaces body line i by the lines of text, so a value's own line breaks
// become lines of the body instead of hiding inside one.
int StoreLines(TStringList& body, int i, const std::string& text) {
    TStringList parts;
    parts.SetText(text);
    if (parts.Count() == 0)
        parts.Add("");
    body[i] = parts[0];
    for (int k = 1; k < parts.Count(); ++k)
        body.Insert(i + k, parts[k]);
    return parts.Count();
}

// One line through the body pass; nullopt leaves it as it was.
std::optional<std::string> ExpandLine(const std::string& line, const TmsCustomMessage& repliedTo,
                                      const TMergeContext& ctx) {
    CodeSpan span = FindCode(line);
    if (!span.found())
        return std::nullopt;
    std::string code = span.code(line);
    Log(ctx, code);
    std::string v;
    size_t tilde = code.find('~');
    if (tilde != std::string::npos) {
        std::string command = code.substr(0, tilde);
        std::string param = code.substr(tilde + 1);
        Log(ctx, "Merge Template the command is: " + command + " the param is: " + param);
        auto value = Evaluate(command, param, repliedTo, ctx);
        if (!value)
            return std::nullopt;
        v = *value;
        Log(ctx, "the result of the SYSTEM merge code was  " + v);
    }
    std::string result = span.replace(line, v);
    Log(ctx, "the newline reads  " + result);
    return result;
}

} // namespace

std::function<bool(const std::string&, std::string&)> ScriptEvaluator(basic::TBasicEngine& engine) {
    return [&engine](const std::string& expression, std::string& result) {
        try {
            result = engine.Evaluate(expression);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
}

std::string ProccessMergeCodes(TmsMessage& outgoing, const TmsCustomMessage& repliedTo,
                               const TMergeContext& context) {
    // Body pass.
    TStringList& body = outgoing.Body();
    for (int i = 0; i < body.Count();) {
        auto expanded = ExpandLine(body[i], repliedTo, context);
        i += expanded ? StoreLines(body, i, *expanded) : 1;
    }

    // The subject is a line of its own; the template editor offers codes there.
    if (auto subject = ExpandLine(outgoing.Subject(), repliedTo, context)) {
        std::string s = *subject;
        for (char& c : s)
            if (c == '\r' || c == '\n')
                c = ' ';
        if (s.size() > 255 && context.OnSubjectCut)
            context.OnSubjectCut(s);
        outgoing.SetSubject(s);
        // The header line follows, so look-ups see what is sent.
        if (!outgoing.Headers().GetFieldValue("Subject").empty()) {
            outgoing.Headers().DeleteField("Subject");
            outgoing.Headers().Add("Subject: " + outgoing.Subject());
        }
    }

    // Header pass: only REPLYFIELD counts, and only a "To:" line takes it.
    std::string overrideRecipient;
    TmsHeaders& headers = outgoing.Headers();
    for (int i = 0; i < headers.Count(); ++i) {
        const std::string line = headers[i];
        CodeSpan span = FindCode(line);
        if (!span.found())
            continue;
        std::string code = span.code(line);
        Log(context, code);
        std::string v;
        size_t tilde = code.find('~');
        if (tilde != std::string::npos) {
            if (UpperAZ(code.substr(0, tilde)) == "REPLYFIELD") {
                const bool toLine = UpperAZ(line.substr(0, 3)) == "TO:";
                v = ReplyField(
                    repliedTo, code.substr(tilde + 1),
                    [&](const std::string& value) {
                        if (toLine)
                            overrideRecipient = value;
                    },
                    context.Utf8);
            }
            Log(context, "the result of the REPLYFIELD merge code was  " + v);
        }
        if (!overrideRecipient.empty()) {
            headers[i] = span.replace(line, v);
            Log(context, "the newline reads  " + headers[i]);
        }
    }
    return overrideRecipient;
}

} // namespace quelta
