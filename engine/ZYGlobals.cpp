#include "engine/ZYGlobals.h"

#include "platform/Version.h"

std::string ProductVersion = "1.0.0.0";
std::string ProductTitle = "Twinrake 1.0.0.0";
TLog* AppLog = nullptr;

void InitProductGlobals()
{
    ProductVersion = platform::GetAppVersionText();
    ProductTitle = ProductName + " " + ProductVersion;
    if (!platform::Is32BitBuild()) {
        ProductTitle += " (64-bit)";
    }
}
