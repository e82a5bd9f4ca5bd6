// The plug-in's facts, shared by every layer: class IDs, names, version.
#pragma once

#include "pluginterfaces/base/funknown.h"
#include "version.h"

namespace QuenrilEQ {

static const Steinberg::FUID kProcessorUID (0xA79D68D4, 0xEE9A4138, 0xB7A22085, 0xA1933E29);
static const Steinberg::FUID kControllerUID (0x24A48C1E, 0x79C54A63, 0xB7F91C27, 0x82B4518F);

constexpr const char* kVendor = "QuenrilDSP";
constexpr const char* kVendorUrl = "https://quenrildsp.example";
constexpr const char* kVendorEmail = "mailto:support@quenrildsp.example";
constexpr const char* kPluginName = "QuenrilEQ";
constexpr const char* kControllerName = "QuenrilEQController";
constexpr const char* kVersion = QEQ_VERSION_STRING;
// The class records name the SDK generation the plug-in was designed against.
constexpr const char* kSdkVersionString = "VST 3.8.0";
constexpr const char* kSubCategories = "Fx|EQ";

} // namespace QuenrilEQ
