#include "engine/SharedString.h"

#include <ostream>
#include <utility>

TSharedString::TSharedString(std::string text) : FBlock(new TBlock(std::move(text))) {}

TSharedString::TSharedString(const TSharedString& other) noexcept : FBlock(other.FBlock)
{
    if (FBlock != nullptr) {
        FBlock->Refs.fetch_add(1, std::memory_order_relaxed);
    }
}

TSharedString::TSharedString(TSharedString&& other) noexcept
    : FBlock(std::exchange(other.FBlock, nullptr))
{
}

TSharedString& TSharedString::operator=(const TSharedString& other) noexcept
{
    if (other.FBlock != FBlock) {
        TSharedString copy(other);
        std::swap(FBlock, copy.FBlock);
    }
    return *this;
}

TSharedString& TSharedString::operator=(TSharedString&& other) noexcept
{
    if (&other != this) {
        Drop();
        FBlock = std::exchange(other.FBlock, nullptr);
    }
    return *this;
}

TSharedString::~TSharedString()
{
    Drop();
}

const std::string& TSharedString::Str() const
{
    static const std::string Empty;
    return FBlock != nullptr ? FBlock->Text : Empty;
}

void TSharedString::Drop() noexcept
{
    // The last owner frees the block; acquire-release orders every other owner's reads
    // before the delete.
    if (FBlock != nullptr && FBlock->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete FBlock;
    }
    FBlock = nullptr;
}

std::ostream& operator<<(std::ostream& stream, const TSharedString& text)
{
    return stream << text.Str();
}
