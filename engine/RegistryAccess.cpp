#include "engine/RegistryAccess.h"

#include "engine/ZYGlobals.h"

#include <bit>
#include <limits>

using platform::RegistryStore;
using platform::TRegValue;
using platform::TSysError;

namespace {

thread_local TRegBatch* OpenBatch = nullptr;

bool ReadStored(const std::string& section, const std::string& name, TRegValue& value)
{
    return !RegistryStore().ReadValue(RegistrySectionKey(section), name, value);
}

std::uint32_t LittleEndian32(const std::string& bytes, std::size_t at)
{
    std::uint32_t number = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        number |= std::uint32_t(static_cast<unsigned char>(bytes[at + k])) << (8 * k);
    }
    return number;
}

void PutLittleEndian32(std::string& bytes, std::uint32_t number)
{
    for (std::size_t k = 0; k < 4; ++k) {
        bytes.push_back(char((number >> (8 * k)) & 0xFF));
    }
}

// A DWORD of the right size, or nothing.
std::optional<std::uint32_t> StoredDword(const std::string& section, const std::string& name)
{
    TRegValue value;
    if (!ReadStored(section, name, value) || value.Type != platform::rtDword ||
        value.Data.size() != 4) {
        return std::nullopt;
    }
    return LittleEndian32(value.Data, 0);
}

std::optional<double> StoredDouble(const std::string& section, const std::string& name)
{
    TRegValue value;
    if (!ReadStored(section, name, value) || value.Type != platform::rtBinary ||
        value.Data.size() != 8) {
        return std::nullopt;
    }
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        bits |= std::uint64_t(static_cast<unsigned char>(value.Data[k])) << (8 * k);
    }
    return std::bit_cast<double>(bits);
}

TRegValue DoubleValue(double number)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(number);
    std::string bytes;
    for (std::size_t k = 0; k < 8; ++k) {
        bytes.push_back(char((bits >> (8 * k)) & 0xFF));
    }
    return TRegValue::Binary(std::move(bytes));
}

// Writes through the open batch when there is one, else straight to the store.
bool Store(const std::string& key, const std::string& name, TRegValue value)
{
    if (TRegBatch* batch = TRegBatch::Current()) {
        batch->Changes().WriteValue(key, name, std::move(value));
        return true;
    }
    return !RegistryStore().WriteValue(key, name, value);
}

} // namespace

std::string RegistrySectionKey(const std::string& section)
{
    return RegistryRoot + section;
}

bool RegReadBool(const std::string& section, const std::string& name, bool defaultValue)
{
    std::optional<std::uint32_t> number = StoredDword(section, name);
    return number ? *number != 0 : defaultValue;
}

std::int32_t RegReadInteger(
    const std::string& section, const std::string& name, std::int32_t defaultValue)
{
    std::optional<std::uint32_t> number = StoredDword(section, name);
    return number ? static_cast<std::int32_t>(*number) : defaultValue;
}

double RegReadFloat(const std::string& section, const std::string& name, double defaultValue)
{
    return StoredDouble(section, name).value_or(defaultValue);
}

double RegReadTime(const std::string& section, const std::string& name, double defaultValue)
{
    return StoredDouble(section, name).value_or(defaultValue);
}

std::string RegReadString(
    const std::string& section, const std::string& name, const std::string& defaultValue)
{
    TRegValue value;
    if (!ReadStored(section, name, value) ||
        (value.Type != platform::rtString && value.Type != platform::rtExpandString)) {
        return defaultValue;
    }
    std::size_t zero = value.Data.find('\0');
    return zero == std::string::npos ? value.Data : value.Data.substr(0, zero);
}

bool RegWriteBool(const std::string& section, const std::string& name, bool value)
{
    return Store(RegistrySectionKey(section), name, TRegValue::Dword(value ? 1 : 0));
}

bool RegWriteInteger(const std::string& section, const std::string& name, std::int32_t value)
{
    return Store(
        RegistrySectionKey(section), name, TRegValue::Dword(static_cast<std::uint32_t>(value)));
}

bool RegWriteFloat(const std::string& section, const std::string& name, double value)
{
    return Store(RegistrySectionKey(section), name, DoubleValue(value));
}

bool RegWriteTime(const std::string& section, const std::string& name, double value)
{
    return Store(RegistrySectionKey(section), name, DoubleValue(value));
}

bool RegWriteString(const std::string& section, const std::string& name, const std::string& value)
{
    return Store(RegistrySectionKey(section), name, TRegValue::String(value));
}

bool RegClearKey(const std::string& section)
{
    if (TRegBatch* batch = TRegBatch::Current()) {
        batch->Changes().ClearKey(RegistrySectionKey(section));
        return true;
    }
    return !RegistryStore().ClearKey(RegistrySectionKey(section));
}

bool RegRemoveValue(const std::string& section, const std::string& name)
{
    if (TRegBatch* batch = TRegBatch::Current()) {
        batch->Changes().DeleteValue(RegistrySectionKey(section), name);
        return true;
    }
    return !RegistryStore().DeleteValue(RegistrySectionKey(section), name);
}

// ---- batches -------------------------------------------------------------------------------

TRegBatch::TRegBatch()
    : FOuter(OpenBatch)
{
    OpenBatch = this;
}

TRegBatch::~TRegBatch()
{
    if (!FCommitted) {
        Commit();
    }
    OpenBatch = FOuter;
}

TRegBatch* TRegBatch::Current()
{
    return OpenBatch;
}

bool TRegBatch::Commit()
{
    FCommitted = true;
    if (FOuter) {
        FOuter->FChanges.Append(FChanges);
        FChanges.Clear();
        return true;
    }
    FError = RegistryStore().Apply(FChanges);
    FChanges.Clear();
    return !FError;
}

// ---- window placement ----------------------------------------------------------------------

TRegValue EncodePlacementRecord(const TPlacementRecord& record)
{
    std::string bytes;
    for (std::int32_t field : {record.Left, record.Top, record.Right, record.Bottom}) {
        PutLittleEndian32(bytes, static_cast<std::uint32_t>(field));
    }
    return TRegValue::Binary(std::move(bytes));
}

std::optional<TPlacementRecord> DecodePlacementRecord(const TRegValue& value)
{
    if (value.Type != platform::rtBinary || value.Data.size() != 16) {
        return std::nullopt;
    }
    TPlacementRecord record;
    record.Left = static_cast<std::int32_t>(LittleEndian32(value.Data, 0));
    record.Top = static_cast<std::int32_t>(LittleEndian32(value.Data, 4));
    record.Right = static_cast<std::int32_t>(LittleEndian32(value.Data, 8));
    record.Bottom = static_cast<std::int32_t>(LittleEndian32(value.Data, 12));
    return record;
}

TPlacementRecord MakePlacementRecord(const TFormPlacement& form)
{
    TPlacementRecord record;
    record.Left = form.Bounds.left();
    record.Top = form.Maximized ? MaximizedMarker : form.Bounds.top();
    // QRect's right() and bottom() are inclusive; the record's edges are not.
    record.Right = form.Bounds.left() + form.Bounds.width();
    record.Bottom = form.Bounds.top() + form.Bounds.height();
    return record;
}

void ApplyPlacementRecord(const std::optional<TPlacementRecord>& record,
    const std::string& formName, const QRect& virtualScreen, TFormPlacement& form)
{
    if (!record) {
        if (formName == "MainForm") {
            form.Maximized = true;
        }
        return;
    }
    if (record->Top == MaximizedMarker) {
        form.Maximized = true;
        return;
    }
    // Sums and differences in 64 bits: the numbers come from a file and may be anything.
    const std::int64_t left = record->Left;
    const std::int64_t top = record->Top;
    const std::int64_t right = record->Right;
    const std::int64_t bottom = record->Bottom;
    std::int64_t newLeft = form.Bounds.left();
    std::int64_t newTop = form.Bounds.top();
    std::int64_t newWidth = form.Bounds.width();
    std::int64_t newHeight = form.Bounds.height();
    if (left + 10 < virtualScreen.width()) {
        newLeft = left;
    }
    if (top + 10 < virtualScreen.height()) {
        newTop = top;
    }
    const std::int64_t largest = std::numeric_limits<int>::max();
    if (right > virtualScreen.left() && right - left > 0 && right - left <= largest) {
        newWidth = right - left;
    }
    if (bottom > virtualScreen.top() && bottom - top > 0 && bottom - top <= largest) {
        newHeight = bottom - top;
    }
    // A window whose far edge is no screen coordinate comes only from a corrupt value: that
    // direction stays as it was.
    if (newLeft + newWidth - 1 > largest) {
        newLeft = form.Bounds.left();
        newWidth = form.Bounds.width();
    }
    if (newTop + newHeight - 1 > largest) {
        newTop = form.Bounds.top();
        newHeight = form.Bounds.height();
    }
    form.Bounds = QRect(int(newLeft), int(newTop), int(newWidth), int(newHeight));
}

void LoadFormPlacement(const std::string& formName, const std::string& key,
    const QRect& virtualScreen, TFormPlacement& form)
{
    std::optional<TPlacementRecord> record;
    TRegValue value;
    if (!RegistryStore().ReadValue(key, formName, value)) {
        record = DecodePlacementRecord(value);
    }
    ApplyPlacementRecord(record, formName, virtualScreen, form);
}

bool SaveFormPlacement(
    const std::string& formName, const std::string& key, const TFormPlacement& form)
{
    return Store(key, formName, EncodePlacementRecord(MakePlacementRecord(form)));
}

bool LiesOnAnyMonitor(const QRect& bounds, const std::vector<QRect>& monitors)
{
    for (const QRect& monitor : monitors) {
        if (bounds.intersects(monitor)) {
            return true;
        }
    }
    return false;
}

QRect CenterOnWorkArea(const QRect& bounds, const QRect& workArea)
{
    const int areaWidth = workArea.width();
    const int areaHeight = workArea.height();
    const int width = bounds.width() < areaWidth ? areaWidth : bounds.width();
    const int height = bounds.height() < areaHeight ? areaHeight : bounds.height();
    return QRect(workArea.left() + (areaWidth - width) / 2,
        workArea.top() + (areaHeight - height) / 2, width, height);
}
