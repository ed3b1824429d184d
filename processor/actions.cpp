// The actions of a MESSAGE agent that fired.
#include "processor/agentprocessor.h"

#include "automation/quelta_tlb.h"
#include "mail/mscharset.h"
#include "mail/msutils.h"
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/paths.h"
#include "processor/autoreply.h"
#include "processor/mergecodes.h"
#include "processor/store.h"

#include <chrono>
#include <thread>

namespace quelta {

namespace {

// Texts that go through a 256-byte buffer.
std::string Cut255(const std::string& s) {
    return s.substr(0, 255);
}

const std::string kHyphens(50, '-');

// A whole number of seconds within [0, max]; anything else is refused.
bool ReadDelay(const std::string& text, long max, long& seconds) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    seconds = std::stol(text);
    return seconds <= max;
}

void SetOnlyRecipient(TmsMessage& m, const std::string& address, const std::string& name) {
    m.Recipients().Clear();
    m.Recipients().Add(address, name);
}

} // namespace

void TAgentProcessor::RefuseReply(const std::string& reason) {
    AddAgentEntry(messageKey_, "AutoReply not sent: " + reason);
    SendtoLog("Agent not Auto-Replying: " + reason, 0);
}

void TAgentProcessor::Send(TmsMessage& message, const std::string& subject) {
    try {
        smtp_.SetServer(account_ ? account_->smtpAddress : "");
        smtp_.SetMailMessage(&message);
        // Every message sent is one of the account's, with an identity of
        // its own: a redirect changes what it passes on, and a recipient
        // who holds the original would take it for that one.
        smtp_.SetMessageIDDomain(account_ ? account_->address : "");
        smtp_.Send();
    } catch (const std::exception& e) {
        SendtoLog("ERROR -- Could not send outgoing mail " + std::string(e.what()) +
                      " Subject: " + subject,
                  0);
    }
    // What could not go as it was is never changed without a word.
    for (const std::string& note : smtp_.Notes()) {
        AddAgentEntry(messageKey_, "Mail sent with a change: " + note);
        SendtoLog("Mail sent with a change: " + note + " Subject: " + subject, 0);
    }
    smtp_.SetMailMessage(nullptr);
}

std::string TAgentProcessor::AnsweredTooOften(const TmsMessage& message,
                                              const std::string& address) {
    const int answers = AnswersInLastDay(message.Headers().GetFieldValue("From"), address);
    if (answers < kMaxAnswersPerDay)
        return {};
    return address + " was answered " + std::to_string(answers) + " times in the last 24 hours";
}

void TAgentProcessor::RunActions(const TAgentDefinition& agent, TmsMessage& message,
                                 const std::string& pendingPath, bool& stop) {
    // The sender the message arrived with: a forward makes the account the
    // sender, yet a reply after it still answers the original author.
    originalSender_.Assign(message.Sender());
    const std::string node = account_ ? account_->node : "";
    const std::string address = account_ ? account_->address : "";
    // Judged on the message as it arrived, before this agent's own forward
    // adds its mark.
    const std::string automatic = AutomaticMailReason(message, address);
    const std::string senderMailbox = PlainMailbox(originalSender_.Address());
    const int passedOn = PassedOnCount(message.Headers());
    const TmsHeaders answered = message.Headers();

    for (const TAgentAction& action : agent.Actions) {
        const std::string name = UpperAZ(action.Name);
        const std::string& p2 = action.Param1;
        const std::string& p3 = action.Param2;

        if (name == "AUTO-REPLY") {
            outgoing_.Clear();
            if (!win::FileExists(p2)) {
                win::MessageBeep(0);
                SendtoLog("Unable to load outgoing mail message for auto-reply -- " + p2, 0);
                return;
            }
            // Automatic mail is never answered, so two responders cannot loop.
            if (!automatic.empty()) {
                RefuseReply(automatic);
                continue;
            }
            outgoing_.LoadFromFile(win::ResolvePath(p2));
            // The template's texts and the values taken from the message
            // meet in UTF-8, whatever sets each was written in.
            TemplateToUtf8(outgoing_);
            outgoing_.Sender().SetName(node);
            outgoing_.Sender().SetAddress(address);
            const TmsMailAddress author = SenderInUtf8(message);
            SetOnlyRecipient(outgoing_, originalSender_.Address(), author.Name());
            outgoing_.Headers().Add(kAutoReplyMarker);
            TMergeContext ctx;
            ctx.NodeName = node;
            ctx.NodeAddress = address;
            ctx.Utf8 = true;
            ctx.Log = [this](const std::string& s) { SendtoLog(s, 0); };
            ctx.Evaluate = ScriptEvaluator(script_);
            ctx.OnSubjectCut = [this](const std::string& whole) {
                const std::string note =
                    "the subject of " + std::to_string(whole.size()) + " characters was cut to 255";
                AddAgentEntry(messageKey_, "AutoReply with a change: " + note);
                SendtoLog("AutoReply with a change: " + note, 0);
            };
            std::string to = ProccessMergeCodes(outgoing_, message, ctx);
            if (!to.empty())
                SetOnlyRecipient(outgoing_, to, "");
            // Only a plain mailbox becomes a recipient ("=?utf-8?b?...?=" is none).
            const std::string written = outgoing_.Recipients()[0].Address();
            const std::string mailbox = PlainMailbox(written);
            if (mailbox.empty()) {
                RefuseReply("the recipient is not a plain mailbox (" + written + ")");
                continue;
            }
            // Whatever the mail says, its sender is answered a few times a day.
            if (to.empty()) {
                if (const std::string why = AnsweredTooOften(message, mailbox); !why.empty()) {
                    RefuseReply(why);
                    continue;
                }
            }
            outgoing_.Recipients()[0].SetAddress(mailbox);
            MarkAutomaticReply(outgoing_.Headers(), answered);
            std::string subject = outgoing_.Headers().GetFieldValue("Subject");
            SendtoLog("Agent Auto-Replying with " + subject, 0);
            AddAgentEntry(messageKey_, "AutoReply Generated, SUBJECT: " + subject);
            Send(outgoing_, subject);
        } else if (name == "CLOSE QUELTA") {
            AddAgentEntry(messageKey_, "Close Quelta");
            closeRequested_ = true;
        } else if (name == "SHUT DOWN WINDOWS") {
            static const struct {
                const char* word;
                unsigned flags;
            } kFlags[] = {{"FORCE", win::EWX_FORCE},
                          {"LOGOFF", win::EWX_LOGOFF},
                          {"POWEROFF", win::EWX_POWEROFF},
                          {"REBOOT", win::EWX_REBOOT},
                          {"SHUTDOWN", win::EWX_SHUTDOWN}};
            for (const auto& f : kFlags) {
                if (p2 != f.word)
                    continue;
                AddAgentEntry(messageKey_, "Close Quelta");
                shutdownRequested_ = true;
                shutdownFlags_ = f.flags;
            }
        } else if (name == "DELAY THE AGENT") {
            long seconds = 0;
            if (!ReadDelay(p2, maxDelay_, seconds)) {
                AddAgentEntry(messageKey_, "FAILED to Delay for " + p2 + " seconds");
                return;
            }
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            AddAgentEntry(messageKey_, "Agent Delayed for " + p2 + " seconds");
        } else if (name == "FORWARD TO" || name == "REDIRECT TO") {
            const bool forward = name == "FORWARD TO";
            auto refuse = [&](const std::string& why) {
                AddAgentEntry(messageKey_, std::string(forward ? "Message not Forwarded to: "
                                                               : "Message not Redirected to: ") +
                                               p2 + why);
                SendtoLog(
                    std::string(forward ? "Agent not forwarding " : "Agent not redirecting ") +
                        message.Headers().GetFieldValue("Subject") + why,
                    0);
            };
            // A message that went round between forwarding accounts stops here.
            if (passedOn >= kMaxPassedOn) {
                refuse(", it was passed on " + std::to_string(passedOn) + " times already");
                continue;
            }
            // Back to the address it came from: automatic mail never (a
            // responder would answer it again), other mail a few times a day.
            const std::string target = PlainMailbox(p2);
            if (!target.empty() && SameText(target, senderMailbox)) {
                if (!automatic.empty()) {
                    refuse(", it is automatic mail from that address");
                    continue;
                }
                if (const std::string why = AnsweredTooOften(message, target); !why.empty()) {
                    refuse(", " + why);
                    continue;
                }
            }
            std::string originalTo = HeaderInUtf8(message, "To");
            SetOnlyRecipient(message, p2, "");
            // Only the new recipient gets it: the original copies were mailed once.
            message.CC().Clear();
            message.BCC().Clear();
            message.Headers().Add(forward ? kForwardMarker : kRedirectMarker);
            std::string subject = message.Headers().GetFieldValue("Subject");
            // Lines on top of the body, in its own character set where it
            // holds them.
            std::vector<std::string> top;
            const std::string note = TextToUtf8(p3, "");
            if (forward) {
                const TmsMailAddress author = SenderInUtf8(message);
                message.Sender().SetName(node);
                message.Sender().SetAddress(address);
                top = {"Forwarded Message:  Originally from: " + author.Name() + " " +
                           author.Address(),
                       kHyphens};
                AddAgentEntry(messageKey_, "Message Forwarded to: " + p2);
                SendtoLog("Agent Forwarding " + subject, 0);
            } else {
                top = {"Processed by Quelta Account: " + TextToUtf8(node, ""),
                       "Originally To: " + originalTo, "Message Redirected To: " + p2, kHyphens};
                AddAgentEntry(messageKey_, "Message Redirected to: " + p2);
                SendtoLog("Agent redirecting " + subject, 0);
            }
            if (!p3.empty())
                top.push_back(note);
            InsertLinesOnTop(message, top);
            Send(message, subject);
            message.Sender().Assign(originalSender_);
        } else if (name == "PRINT") {
            // recognised; nothing to do
        } else if (name == "LAUNCH PROGRAM") {
            std::string folder = programFolder_ + "temp/";
            win::ForceDirectories(folder);
            std::string file = win::ResolvePath(folder) + MessageFileName(messageKey_);
            message.SaveToFile(file);
            std::string program = Cut255(p2);
            std::vector<std::string> argv = win::SplitCommandLine(program);
            argv.push_back(file); // whole, however long
            win::LaunchProgram(argv);
            AddAgentEntry(messageKey_, "Launched Program " + program + " " + file + " as " + p3);
        } else if (name == "PLAY SOUND") {
            win::PlaySoundFile(win::ResolvePath(Cut255(p2)));
            AddAgentEntry(messageKey_, "Played Sound: " + p2);
        } else if (name == "REMOVE FROM FURTHER AGENT PROCESSING") {
            stop = true;
        } else if (name == "RUN AN QUELTASCRIPT") {
            AddAgentEntry(messageKey_, "Ran quelta-Script: " + p2);
            try {
                script_.RunFile(win::ResolvePath(Cut255(p2)));
            } catch (const std::exception& e) {
                // Caught here: the message is filed and the next action runs.
                AppException(e.what());
                continue;
            }
            if (messageObject_) {
                com::Variant file(pendingPath);
                if (FAILED(messageObject_->SaveToFile(file)))
                    AppException("Unable to save the script's changes to " + pendingPath);
            }
        }
    }
}

} // namespace quelta
