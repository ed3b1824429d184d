#pragma once
// TagHTTP: a socket that holds an HTTP target (URL, proxy, headers, content
// type and two memory streams) but sends no request of its own.
#include "mail/agsocket.h"
#include "mail/strlist.h"

#include <sstream>
#include <string>

class TagHTTP : public TagSocket {
public:
    TagHTTP();

    [[nodiscard]] const std::string& URL() const { return url_; }
    // Must start "http://" (any case), else error 57007. Splits it into
    // Server and path; applies Proxy again when set.
    void SetURL(const std::string& url);
    [[nodiscard]] const std::string& Proxy() const { return proxy_; }
    // "host:port" (else error 57006), copied into Server.
    void SetProxy(const std::string& proxy);

    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] const std::string& DocumentName() const { return documentName_; }
    [[nodiscard]] TStringList& Headers() { return headers_; }
    [[nodiscard]] const std::string& ContentType() const { return contentType_; }
    void SetContentType(const std::string& v) { contentType_ = v; }
    [[nodiscard]] std::stringstream& SendStreamData() { return sendData_; }
    [[nodiscard]] std::stringstream& ReceiveStreamData() { return receiveData_; }

    TmsNotifyEvent OnSending;

private:
    std::string url_;
    std::string proxy_;
    std::string path_;
    std::string documentName_;
    TStringList headers_;
    std::string contentType_ = "application/x-www-form-urlencoded";
    std::stringstream sendData_;
    std::stringstream receiveData_;
};
