# The VST 3 SDK sources we use, compiled once into a static library.
# The packaged SDK subset lives in Debian's juce-modules-source-data; point
# VST3_SDK_DIR elsewhere to build against another copy.
set(VST3_SDK_DIR "/usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK"
    CACHE PATH "Folder holding pluginterfaces/, base/ and public.sdk/ of the VST 3 SDK")

if(NOT EXISTS "${VST3_SDK_DIR}/pluginterfaces/base/funknown.h")
  message(FATAL_ERROR "VST 3 SDK not found in ${VST3_SDK_DIR}; run scripts/setup or set VST3_SDK_DIR")
endif()

set(_sdk "${VST3_SDK_DIR}")
add_library(vst3sdk STATIC
  ${_sdk}/base/source/baseiids.cpp
  ${_sdk}/base/source/fbuffer.cpp
  ${_sdk}/base/source/fdebug.cpp
  ${_sdk}/base/source/fobject.cpp
  ${_sdk}/base/source/fstreamer.cpp
  ${_sdk}/base/source/fstring.cpp
  ${_sdk}/base/source/updatehandler.cpp
  ${_sdk}/base/thread/source/flock.cpp
  ${_sdk}/pluginterfaces/base/conststringtable.cpp
  ${_sdk}/pluginterfaces/base/coreiids.cpp
  ${_sdk}/pluginterfaces/base/funknown.cpp
  ${_sdk}/pluginterfaces/base/ustring.cpp
  ${_sdk}/public.sdk/source/common/memorystream.cpp
  ${_sdk}/public.sdk/source/common/pluginview.cpp
  ${_sdk}/public.sdk/source/vst/vstbus.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponent.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp
  ${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp
  ${_sdk}/public.sdk/source/vst/vstinitiids.cpp
  ${_sdk}/public.sdk/source/vst/vstparameters.cpp
  ${_sdk}/public.sdk/source/vst/hosting/hostclasses.cpp
  ${_sdk}/public.sdk/source/vst/hosting/pluginterfacesupport.cpp
  # Identifiers the subset declares but never defines.
  ${PROJECT_SOURCE_DIR}/sdk/guiiids.cpp
)
target_include_directories(vst3sdk SYSTEM PUBLIC "${_sdk}")
# Reference counts must be read atomically: see sdk/compat/stdatomic.h.
set_source_files_properties(${_sdk}/pluginterfaces/base/funknown.cpp PROPERTIES
  COMPILE_DEFINITIONS "SMTG_USE_STDATOMIC_H=1"
  INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR}/sdk/compat")
target_compile_definitions(vst3sdk PUBLIC $<IF:$<CONFIG:Debug>,DEVELOPMENT=1,RELEASE=1>)
set_target_properties(vst3sdk PROPERTIES POSITION_INDEPENDENT_CODE ON)
# Third-party code: its warnings are not ours to fix.
target_compile_options(vst3sdk PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(vst3sdk PUBLIC Threads::Threads)
