#include "mail/aghttp.h"

#include <cctype>

TagHTTP::TagHTTP() {
    SetDefaultPort(80);
    serviceName_ = "http";
}

void TagHTTP::SetURL(const std::string& url) {
    std::string scheme = url.substr(0, 7);
    for (char& c : scheme)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (scheme != "HTTP://")
        RaiseError(SInvalidURL);
    url_ = url;
    const std::string rest = url.substr(7);
    const auto slash = rest.find('/');
    if (slash == std::string::npos) {
        SetServer(rest);
        path_ = "/";
    } else {
        SetServer(rest.substr(0, slash));
        path_ = rest.substr(slash);
    }
    if (path_.find('.') != std::string::npos) {
        documentName_ = path_.substr(path_.rfind('/') + 1);
        if (documentName_.empty())
            documentName_ = "index.html";
    }
    if (!proxy_.empty())
        SetProxy(proxy_);
}

void TagHTTP::SetProxy(const std::string& proxy) {
    if (!proxy.empty() && proxy.find(':') == std::string::npos)
        RaiseError(SProxyPortRequired);
    proxy_ = proxy;
    SetServer(proxy);
}
