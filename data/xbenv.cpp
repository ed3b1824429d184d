// The engine-wide settings of one program, and the program's short date
// format that follows the engine's date format and century setting.
#include <memory>

#include "data/xbtable.h"
#include "platform/win/formatdatetime.h"
#include "platform/xbase/xbengine.h"

namespace data {

namespace {

std::unique_ptr<TXbEnv> gEnv;

// The system's own short date format and separator, as they stood before
// any environment changed them.
const win::FormatSettings& SystemSettings() {
    static const win::FormatSettings system = win::DefaultFormatSettings();
    return system;
}

} // namespace

TXbEnv::TXbEnv() {
    (void)SystemSettings();
}

TXbEnv& TXbEnv::Create() {
    if (gEnv)
        throw EXbEnvError("Removing extra TXbEnv component", *gEnv);
    gEnv.reset(new TXbEnv());
    return *gEnv;
}

void TXbEnv::Release() {
    gEnv.reset();
}

TXbEnv* TXbEnv::Instance() {
    return gEnv.get();
}

void TXbEnv::SetExact(bool on) {
    xb_SetExact(on ? 1 : 0);
    exact_ = on;
}

void TXbEnv::SetSoftSeek(bool on) {
    xb_SetSoftSeek(on ? 1 : 0);
    softSeek_ = on;
}

void TXbEnv::SetDeleted(bool on) {
    xb_SetDeleted(on ? 1 : 0);
    deleted_ = on;
}

void TXbEnv::SetLockTimeout(int seconds) {
    lockTimeout_ = seconds;
    xb_SetLockTimeout(seconds);
}

void TXbEnv::SetMemoBlockSize(int size) {
    memoBlockSize_ = size;
    xb_SetMemoBlockSize(size);
}

void TXbEnv::SetEpoch(int year) {
    if (year == 0)
        year = 1900;
    else if (year < 100)
        year = 100;
    else if (year >= 3000)
        year = 2999;
    epoch_ = year;
    xb_SetEpoch(year);
}

void TXbEnv::SetCentury(bool on) {
    xb_SetCentury(on ? 1 : 0);
    century_ = on;
    ApplyCentury();
}

void TXbEnv::ApplyCentury() {
    std::string& format = win::DefaultFormatSettings().ShortDateFormat;
    if (century_) {
        if (format.find("yyyy") == std::string::npos) {
            const std::size_t at = format.find("yy");
            if (at != std::string::npos)
                format.replace(at, 2, "yyyy");
        }
    } else {
        const std::size_t at = format.find("yyyy");
        if (at != std::string::npos)
            format.replace(at, 4, "yy");
    }
}

void TXbEnv::SetDateFormat(TXbDateFrmt format) {
    dateFormat_ = format;
    xb_SetDateFormat(format == TXbDateFrmt::dfWinDefault ? XB_DATE_WINDOWS
                                                         : static_cast<int>(format));
    win::FormatSettings& fs = win::DefaultFormatSettings();
    switch (format) {
    case TXbDateFrmt::dfAmerican:
        fs.ShortDateFormat = "mm/dd/yy";
        fs.DateSeparator = '/';
        break;
    case TXbDateFrmt::dfAnsi:
        fs.ShortDateFormat = "yy.mm.dd";
        fs.DateSeparator = '.';
        break;
    case TXbDateFrmt::dfGerman:
        fs.ShortDateFormat = "dd.mm.yy";
        fs.DateSeparator = '.';
        break;
    case TXbDateFrmt::dfItalian:
    case TXbDateFrmt::dfSpanish:
        fs.ShortDateFormat = "dd-mm-yy";
        fs.DateSeparator = '-';
        break;
    case TXbDateFrmt::dfBritish:
    case TXbDateFrmt::dfFrench:
        fs.ShortDateFormat = "dd/mm/yy";
        fs.DateSeparator = '/';
        break;
    case TXbDateFrmt::dfWinDefault:
        fs.ShortDateFormat = SystemSettings().ShortDateFormat;
        fs.DateSeparator = SystemSettings().DateSeparator;
        break;
    }
    if (century_)
        ApplyCentury();
}

TXbEnvHold::TXbEnvHold() {
    if (TXbEnv::Instance() == nullptr) {
        TXbEnv::Create().SetDeleted(true);
        owns_ = true;
    } else {
        TXbEnv::Instance()->SetDeleted(true);
    }
}

TXbEnvHold::~TXbEnvHold() {
    if (owns_)
        TXbEnv::Release();
}

} // namespace data
