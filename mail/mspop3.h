#pragma once
// The POP3 clients: USER/PASS, STAT, LIST n, TOP n 1, RETR n, DELE n, QUIT.
// Operations take the 0-based index of a message and send index + 1.
//
//   ConnectIfNeeded: Open (CheckProperties, Reset, socket)
//                    -> Login (connect, "+" greeting, USER, PASS, STAT)
//   TmsRemotePOP:    UpdateInfo (LIST n + TOP n 1 for every message into Info)
//                    -> caller sets marks
//                    -> ProcessMarked (per message: check, RETR; check, DELE)
//                    -> Disconnect (QUIT, close)
//
// Transport dot-stuffing is removed from TOP and RETR data, so the saved
// text is the message as it was sent.
#include "mail/mailbase.h"
#include "mail/msmsg.h"
#include "mail/mspop3cl.h"

#include <functional>
#include <istream>
#include <string>
#include <string_view>

class TmsCustomPOP;

using TmsNumNotifyEvent = std::function<void(TagSocket& sender, int num)>;
// Contents: the fetched message, read from its start.
using TmsUserMsgSaveEvent = std::function<void(TagSocket& sender, int num, std::istream& contents)>;

// Removes the "." that the server put before every line beginning with
// one; a line begins after CR LF, not after a bare LF inside a line.
// Remembers across chunks whether the next byte starts a line.
class TPop3DotUnstuffer {
public:
    [[nodiscard]] std::string Feed(std::string_view chunk);
    // The same on data in place; the length that remains.
    std::size_t FeedInPlace(char* data, std::size_t size);

private:
    bool lineStart_ = true;
    bool afterCr_ = false; // the last chunk ended with CR
};

class TmsCustomPOP : public TmsMailBase {
public:
    TmsCustomPOP();

    [[nodiscard]] const std::string& UserName() const { return userName_; }
    void SetUserName(const std::string& v) { userName_ = v; }
    [[nodiscard]] const std::string& Password() const { return password_; }
    void SetPassword(const std::string& v) { password_ = v; }
    // Those of the last STAT; -1 until one succeeded on this connection.
    [[nodiscard]] int MessageCount() const { return messageCount_; }
    [[nodiscard]] long TotalSize() const { return totalSize_; }
    // The last reply line read.
    [[nodiscard]] const std::string& Reply() const { return reply_; }

    TmsNumNotifyEvent OnRetrieving, OnRetrieved, OnDeleting;
    // After the reply to DELE, which Reply() holds.
    TmsNumNotifyEvent OnDeleted;

    // 1 for a line beginning "+", -1 for "-", 0 otherwise.
    [[nodiscard]] int GetReplyCode(const std::string& line) override;
    void Open() override;
    void Login() override;
    void Logout() override;

    // STAT into MessageCount and TotalSize. A reply without a blank after
    // its first number gives the count alone (a first word that is no
    // number leaves both as they are); numbers that are not numbers before
    // a blank raise EConvertError.
    void Stat();
    // LIST for the size, RETR, then SaveMessage with the whole text.
    void RetrieveMessage(int index);
    // DELE and one reply line, whatever it says (see OnDeleted).
    void DeleteMessage(int index);

protected:
    virtual void SaveMessage(int index, std::istream& contents) = 0;
    // UserName and Password must be set (57103, 57104).
    virtual void CheckProperties();
    // Sends the line; the reply must be positive, else EServerError.
    void Command(std::string_view line);
    // LIST n: the size (0 when the reply holds no number).
    long ListSize(int index);
    // The data after a positive reply, up to the final ".", unstuffed.
    std::string ReceiveData(long size);

private:
    std::string userName_, password_;
    int messageCount_ = -1;
    long totalSize_ = -1;
    std::string reply_;
};

// Keeps every fetched message in Messages.
class TmsPOP : public TmsCustomPOP {
public:
    [[nodiscard]] TmsMessageList& Messages() { return messages_; }

protected:
    void SaveMessage(int index, std::istream& contents) override;

private:
    TmsMessageList messages_;
};

class TmsRemotePOP : public TmsCustomPOP {
public:
    TmsRemotePOP() = default;

    // A non-empty value gets a trailing separator.
    [[nodiscard]] const std::string& MessageDirectory() const { return messageDirectory_; }
    void SetMessageDirectory(const std::string& folder);
    [[nodiscard]] TmsRemoteInfo& Info() { return info_; }
    [[nodiscard]] const TmsRemoteInfo& Info() const { return info_; }
    // Leave the connection of UpdateInfo open for ProcessMarked, so the
    // message numbers stay valid between listing and fetching.
    [[nodiscard]] bool KeepConnected() const { return keepConnected_; }
    void SetKeepConnected(bool on) { keepConnected_ = on; }

    TmsNotifyEvent OnUpdatingInfo, OnInfoUpdated, OnTransferringData, OnDataTransfered;
    TmsNumNotifyEvent OnNextInfoUpdated;
    // When set, fetched messages go to it and no file is written.
    TmsUserMsgSaveEvent OnUserMessageSave;

    // Rebuilds Info from LIST and TOP of every message.
    void UpdateInfo();
    // LIST and TOP of one message into item.
    void GetInfo(int index, TmsRemoteInfoItem& item);
    void MarkRetrieve(int index) { info_.Items(index).SetRetrieveMark(true); }
    void MarkDelete(int index) { info_.Items(index).SetDeleteMark(true); }
    void Unmark(int index) {
        info_.Items(index).SetRetrieveMark(false);
        info_.Items(index).SetDeleteMark(false);
    }
    // Same Message-ID when both have one, else the common leading header
    // lines are equal.
    [[nodiscard]] static bool SameMessage(const TmsRemoteInfoItem& fresh,
                                          const TmsRemoteInfoItem& stored);
    // Reads the message's headers again; raises 57105 "IDs are different"
    // (after OnError) when they are not those in Info.
    bool CheckMessage(int index);
    // Fetches and deletes the marked messages, each after its own check,
    // then disconnects. A failure ends the pass at once, connection open.
    void ProcessMarked();

protected:
    // To OnUserMessageSave, else whole into MessageDirectory + "msg_<index>.eml".
    void SaveMessage(int index, std::istream& contents) override;

private:
    std::string messageDirectory_;
    TmsRemoteInfo info_;
    bool keepConnected_ = false;
};
