#include "data/dataset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "data/cursor.h"
#include "data/schema.h"
#include "platform/win/formatdatetime.h"
#include "platform/xbase/xbnumber.h"

namespace data {

void Check(CurResult result) {
    if (result == CUR_OK)
        return;
    std::string text;
    CurGetErrorString(result, text);
    throw EDatabaseError(text, result);
}

namespace {

// A number given as text, "." its decimal point whatever the process's
// locale (the one the record holds); what follows the number is ignored.
double FloatFromText(const std::string& text) {
    char* end = nullptr;
    const double v = xbase::NumberFromText(text.c_str(), &end);
    if (end == text.c_str())
        throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && Upper(s.substr(s.size() - tail.size())) == tail;
}

} // namespace

const char* DriverName(TTableType type) {
    static const char* const kNames[] = {"PARADOX", "PARADOX", "DBASE", "ASCIIDRV",
                                         "XBNTX",   "XBFOX",   "XBNSX"};
    return kNames[static_cast<int>(type)];
}

TTableType ResolveTableType(TTableType type, const std::string& tableName) {
    if (type != TTableType::ttDefault)
        return type;
    if (EndsWith(tableName, ".DBF"))
        return TTableType::ttXBFOX;
    if (EndsWith(tableName, ".TXT"))
        return TTableType::ttASCII;
    return type;
}

bool IsXBaseType(TTableType type) {
    return type == TTableType::ttDBase || type == TTableType::ttXBNTX ||
           type == TTableType::ttXBFOX || type == TTableType::ttXBNSX;
}

// ---- conversions -------------------------------------------------------------

win::TDateTime StrToDate(const std::string& text) {
    const std::string error = "'" + text + "' is not a valid date";
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else if (!cur.empty()) {
            parts.push_back(cur);
            cur.clear();
        } else if (c != ' ') {
            throw EConvertError(error);
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    if (parts.size() < 2 || parts.size() > 3)
        throw EConvertError(error);
    for (const std::string& p : parts)
        if (p.size() > 4)
            throw EConvertError(error);

    // Order of day, month and year from the short date format.
    std::string order;
    for (char c : Upper(win::DefaultFormatSettings().ShortDateFormat))
        if ((c == 'D' || c == 'M' || c == 'Y') && order.find(c) == std::string::npos)
            order += c;
    if (order.size() != 3)
        order = "MDY";
    const win::DateParts today = win::DecodeDateTime(win::Now());
    int y = today.year, m = 0, d = 0;
    bool twoDigitYear = false;
    std::size_t i = 0;
    for (char c : order) {
        if (c == 'Y' && parts.size() == 2)
            continue; // no year given: this year
        const std::string& p = parts[i++];
        const int v = std::stoi(p);
        if (c == 'Y') {
            y = v;
            twoDigitYear = p.size() <= 2;
        } else if (c == 'M') {
            m = v;
        } else {
            d = v;
        }
    }
    if (twoDigitYear) {
        // Within 50 years of the current year.
        const int century = today.year / 100 * 100;
        y += century;
        if (y > today.year + 50)
            y -= 100;
        else if (y <= today.year - 50)
            y += 100;
    }
    win::TDateTime out = 0;
    if (!win::TryEncodeDate(y, m, d, out))
        throw EConvertError(error);
    return out;
}

int StrToInt(const std::string& text) {
    std::size_t pos = 0;
    std::string t = text;
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    try {
        const long v = std::stol(t, &pos);
        if (pos == t.size() && v >= INT32_MIN && v <= INT32_MAX)
            return static_cast<int>(v);
    } catch (const std::exception&) {
    }
    throw EConvertError("'" + text + "' is not a valid integer value");
}

// ---- fields ----------------------------------------------------------------------

TField::TField(TTable& table, const FLDDesc& desc, char letter)
    : table_(table), desc_(desc), name_(desc.szName), letter_(letter) {}

int TField::Size() const {
    return desc_.iFldType == fldZSTRING ? desc_.iUnits1 : 0;
}

bool TField::IsNull() const {
    if (!table_.hasRow_ && table_.state_ != TDataSetState::dsInsert)
        return true;
    if (IsBlob())
        return AsString().empty();
    bool blank = true;
    Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), nullptr, &blank));
    return blank;
}

std::string TField::AsString() const {
    if (!table_.hasRow_ && table_.state_ != TDataSetState::dsInsert)
        return {};
    if (IsBlob()) {
        auto it = table_.pendingMemos_.find(FieldNo());
        return it != table_.pendingMemos_.end() ? it->second : table_.ReadMemo(FieldNo());
    }
    bool blank = true;
    switch (desc_.iFldType) {
    case fldZSTRING: {
        std::string value(static_cast<std::size_t>(desc_.iLen) + 1, '\0');
        Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), value.data(), &blank));
        if (blank)
            return {};
        value.resize(std::strlen(value.c_str()));
        return value;
    }
    case fldDATE:
        return IsNull() ? std::string() : win::DateToStr(AsDateTime());
    case fldBOOL:
        return IsNull() ? std::string() : (AsBoolean() ? "True" : "False");
    case fldINT16:
        return IsNull() ? std::string() : std::to_string(AsInteger());
    case fldFLOAT: {
        if (IsNull())
            return {};
        return xbase::NumberToGeneral(AsFloat(), 15);
    }
    default:
        return {};
    }
}

int TField::AsInteger() const {
    if (IsNull())
        return 0;
    bool blank = true;
    switch (desc_.iFldType) {
    case fldINT16: {
        std::int16_t v = 0;
        Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), &v, &blank));
        return v;
    }
    case fldFLOAT:
        return static_cast<int>(std::lround(AsFloat()));
    case fldBOOL:
        return AsBoolean() ? 1 : 0;
    default:
        return StrToInt(AsString());
    }
}

win::TDateTime TField::AsDateTime() const {
    if (IsNull())
        return 0;
    if (desc_.iFldType == fldDATE) {
        std::int32_t days = 0;
        bool blank = true;
        Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), &days, &blank));
        return blank ? 0 : static_cast<double>(days - kDateDelta);
    }
    return StrToDate(AsString());
}

bool TField::AsBoolean() const {
    if (IsNull())
        return false;
    if (desc_.iFldType == fldBOOL) {
        std::int16_t v = 0;
        bool blank = true;
        Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), &v, &blank));
        return v != 0;
    }
    const std::string s = Upper(AsString());
    return s == "T" || s == "TRUE" || s == "Y";
}

double TField::AsFloat() const {
    if (IsNull())
        return 0;
    bool blank = true;
    switch (desc_.iFldType) {
    case fldFLOAT: {
        double v = 0;
        Check(CurGetField(table_.cursor_, FieldNo(), table_.buffer_.data(), &v, &blank));
        return v;
    }
    case fldINT16:
        return AsInteger();
    default:
        return FloatFromText(AsString());
    }
}

void TField::Put(const void* value) {
    table_.CheckEditing();
    Check(CurPutField(table_.cursor_, FieldNo(), table_.buffer_.data(), value));
}

void TField::SetAsString(const std::string& value) {
    if (IsBlob()) {
        table_.CheckEditing();
        table_.pendingMemos_[FieldNo()] = value;
        return;
    }
    switch (desc_.iFldType) {
    case fldZSTRING:
        Put(value.c_str());
        break;
    case fldDATE:
        if (value.find_first_not_of(' ') == std::string::npos)
            Clear();
        else
            SetAsDateTime(StrToDate(value));
        break;
    case fldBOOL: {
        const std::string s = Upper(value);
        SetAsBoolean(!s.empty() && (s[0] == 'T' || s[0] == 'Y'));
        break;
    }
    case fldINT16:
        if (value.find_first_not_of(' ') == std::string::npos)
            Clear();
        else
            SetAsInteger(StrToInt(value));
        break;
    case fldFLOAT:
        if (value.find_first_not_of(' ') == std::string::npos) {
            Clear();
        } else {
            SetAsFloat(FloatFromText(value));
        }
        break;
    default:
        break;
    }
}

void TField::SetAsInteger(int value) {
    switch (desc_.iFldType) {
    case fldINT16: {
        if (value < INT16_MIN || value > INT16_MAX)
            Check(CURERR_NOTSUFFFIELDSIZE);
        const std::int16_t v = static_cast<std::int16_t>(value);
        Put(&v);
        break;
    }
    case fldFLOAT:
        SetAsFloat(value);
        break;
    default:
        SetAsString(std::to_string(value));
        break;
    }
}

void TField::SetAsDateTime(win::TDateTime value) {
    if (desc_.iFldType == fldDATE) {
        const std::int32_t days = static_cast<std::int32_t>(std::floor(value)) + kDateDelta;
        Put(&days);
    } else {
        SetAsString(win::DateToStr(value));
    }
}

void TField::SetAsBoolean(bool value) {
    if (desc_.iFldType == fldBOOL) {
        const std::uint8_t b = value ? 1 : 0;
        Put(&b);
    } else {
        SetAsString(value ? "T" : "F");
    }
}

void TField::SetAsFloat(double value) {
    switch (desc_.iFldType) {
    case fldFLOAT:
        Put(&value);
        break;
    case fldINT16:
        SetAsInteger(static_cast<int>(std::lround(value)));
        break;
    default:
        SetAsString(xbase::NumberToGeneral(value, 15));
        break;
    }
}

void TField::Clear() {
    if (IsBlob()) {
        table_.CheckEditing();
        table_.pendingMemos_[FieldNo()].clear();
        return;
    }
    Put(nullptr);
}

// ---- data links and sources ----------------------------------------------------------

TDataLink::~TDataLink() {
    SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source_ == source)
        return;
    if (source_ != nullptr)
        std::erase(source_->links_, this);
    source_ = source;
    if (source_ != nullptr)
        source_->links_.push_back(this);
    ActiveChanged();
}

TTable* TDataLink::DataSet() const {
    return source_ != nullptr ? source_->DataSet() : nullptr;
}

bool TDataLink::Active() const {
    return DataSet() != nullptr && DataSet()->Active();
}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
    for (TDataLink* link : std::vector<TDataLink*>(links_))
        link->source_ = nullptr;
}

void TDataSource::SetDataSet(TTable* table) {
    if (dataSet_ == table)
        return;
    if (dataSet_ != nullptr)
        std::erase(dataSet_->sources_, this);
    dataSet_ = table;
    if (dataSet_ != nullptr)
        dataSet_->sources_.push_back(this);
    NotifyActive();
}

void TDataSource::NotifyActive() {
    for (TDataLink* link : std::vector<TDataLink*>(links_))
        link->ActiveChanged();
}

void TDataSource::NotifyRecord() {
    for (TDataLink* link : std::vector<TDataLink*>(links_))
        link->RecordChanged();
    if (OnDataChange)
        OnDataChange(*this);
}

} // namespace data
