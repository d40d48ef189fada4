#pragma once

#include "platform/RegistryStore.h"
#include "platform/SysError.h"

#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Typed access to the program's values in the registry store (platform::RegistryStore()).
// A section is a key name below RegistryRoot ("Settings", "QuickCheckFolders", ...); every
// call opens the key anew, nothing is cached here.
//
// Readers return the caller's default on a missing key, a missing value, a value of another
// type or size, or any error of the store, silently. Writers create the key (and its parents)
// when it is missing and return false when the value could not be stored, so a saver can go
// on with its other values and report the failure once. Called from the main thread.

// The key of a section: RegistryRoot followed by the section name.
std::string RegistrySectionKey(const std::string& section);

// True when the stored DWORD is not 0.
bool RegReadBool(const std::string& section, const std::string& name, bool defaultValue);
// A DWORD, as a signed 32-bit number.
std::int32_t RegReadInteger(
    const std::string& section, const std::string& name, std::int32_t defaultValue);
// Binary of exactly 8 bytes: a little-endian IEEE 754 double.
double RegReadFloat(const std::string& section, const std::string& name, double defaultValue);
// A date-time (days since 30 December 1899, the fraction the time of day), stored as Float.
double RegReadTime(const std::string& section, const std::string& name, double defaultValue);
// A string or an expandable string (not expanded), up to its first zero character. An empty
// stored text gives the empty text, not the default.
std::string RegReadString(
    const std::string& section, const std::string& name, const std::string& defaultValue);

bool RegWriteBool(const std::string& section, const std::string& name, bool value);
bool RegWriteInteger(const std::string& section, const std::string& name, std::int32_t value);
bool RegWriteFloat(const std::string& section, const std::string& name, double value);
bool RegWriteTime(const std::string& section, const std::string& name, double value);
bool RegWriteString(const std::string& section, const std::string& name, const std::string& value);

// Deletes every value of the section's key; its subkeys stay. Nothing happens when the key
// does not exist.
bool RegClearKey(const std::string& section);
// Deletes one value when the key and the value exist.
bool RegRemoveValue(const std::string& section, const std::string& name);

// Gathers the writes, clears and removals made on this thread while it lives and stores them
// in one read-modify-write of the store, so a saver of many values reads and writes the file
// once and another running copy sees all of them or none. Batches nest: an inner batch hands
// its changes to the outer one. Reads made while a batch is open see the stored values, not
// the pending ones. A batch that goes without Commit commits in its destructor.
class TRegBatch {
public:
    TRegBatch();
    ~TRegBatch();
    TRegBatch(const TRegBatch&) = delete;
    TRegBatch& operator=(const TRegBatch&) = delete;

    // Stores the gathered changes. False when any of them failed; Error() tells why.
    bool Commit();
    platform::TSysError Error() const { return FError; }

    // The batch open on this thread, or null.
    static TRegBatch* Current();
    platform::TRegistryBatch& Changes() { return FChanges; }

private:
    TRegBatch* FOuter;
    platform::TRegistryBatch FChanges;
    platform::TSysError FError;
    bool FCommitted = false;
};

// ---- window placement ----------------------------------------------------------------------

// The stored placement of a window: a binary value of exactly 16 bytes, four signed 32-bit
// little-endian numbers. Right and Bottom are exclusive (Left + width, Top + height). Top is
// MaximizedMarker when the window was maximized; its normal bounds are not kept then.
struct TPlacementRecord {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    friend bool operator==(const TPlacementRecord&, const TPlacementRecord&) = default;
};

inline constexpr std::int32_t MaximizedMarker = -999;

platform::TRegValue EncodePlacementRecord(const TPlacementRecord& record);
// The record of a binary value of exactly 16 bytes; nothing for any other type or size.
std::optional<TPlacementRecord> DecodePlacementRecord(const platform::TRegValue& value);

// What the placement rules read from a window and set on it: its bounds in screen pixels and
// whether it is maximized. The toolkit moves the real window accordingly.
struct TFormPlacement {
    QRect Bounds;
    bool Maximized = false;
};

// The record that saving the placement writes for a window.
TPlacementRecord MakePlacementRecord(const TFormPlacement& form);

// Restores a window from its record against the virtual screen (the bounding rectangle of all
// monitors). With no usable record, the window named "MainForm" is maximized (its first
// start) and any other window is left as it is. A maximized record maximizes the window and
// changes nothing else. Otherwise each rule on its own: Left is applied when Left + 10 lies
// before the virtual screen's width, Top when Top + 10 lies before its height (the width and
// height, not the right and bottom edges), the width Right - Left when Right lies after the
// virtual screen's left edge, the height Bottom - Top when Bottom lies after its top edge. A
// width or height that is not positive is never applied, and neither is a direction whose far
// edge would lie beyond the range of screen coordinates (both come only from corrupt values).
void ApplyPlacementRecord(const std::optional<TPlacementRecord>& record,
    const std::string& formName, const QRect& virtualScreen, TFormPlacement& form);

// Reads the value named formName from the key (a full key path, RegistryRoot + "MainForm")
// and applies it as above; a missing key or value, or one of another type or size, counts as
// no record.
void LoadFormPlacement(const std::string& formName, const std::string& key,
    const QRect& virtualScreen, TFormPlacement& form);
// Writes the window's record as the binary value formName of the key, creating the key.
bool SaveFormPlacement(
    const std::string& formName, const std::string& key, const TFormPlacement& form);

// Whether the bounds share at least one pixel with any of the monitors; a window that does
// not is centred on the primary monitor.
bool LiesOnAnyMonitor(const QRect& bounds, const std::vector<QRect>& monitors);

// The bounds of a window fitted to the primary monitor's work area and centred there: a
// smaller width or height grows to the work area's, a larger one stays (the window is never
// made smaller), and the left and top edges centre it, halves truncated toward zero.
QRect CenterOnWorkArea(const QRect& bounds, const QRect& workArea);
