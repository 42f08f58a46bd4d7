#include "platform/win32/win32_driver.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <vector>

namespace platform {

namespace {

// The device interface class that the instrument's driver registers.
constexpr GUID kInterfaceClass = {
    0x1E35FED1, 0x756E, 0x4813, {0x92, 0x26, 0x66, 0xFF, 0xA9, 0x53, 0x2F, 0x6D}};

HANDLE ToWin32(DeviceHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}
DeviceHandle FromWin32(HANDLE handle) {
  return reinterpret_cast<DeviceHandle>(handle);
}

// The handle value conventions of both sides agree, so a failed open needs no translation.
static_assert(sizeof(DeviceHandle) == sizeof(HANDLE));

// SetupAPI checks the detail record's size field against the layout for the caller's word
// size: 8 bytes for a 64-bit program, 5 for a 32-bit one, whose headers pack it tightly.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5));

}  // namespace

Win32Driver::~Win32Driver() {
  EndEnumeration();
}

bool Win32Driver::BeginEnumeration() {
  EndEnumeration();
  HDEVINFO info = SetupDiGetClassDevsA(&kInterfaceClass, nullptr, nullptr,
                                       DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (info == INVALID_HANDLE_VALUE) return false;
  deviceInfo_ = info;
  return true;
}

EnumResult Win32Driver::InterfacePath(std::uint32_t index, std::string& path) {
  if (deviceInfo_ == nullptr) return EnumResult::NoMoreItems;
  HDEVINFO info = static_cast<HDEVINFO>(deviceInfo_);

  SP_DEVICE_INTERFACE_DATA interfaceData;
  std::memset(&interfaceData, 0, sizeof(interfaceData));
  interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
  if (!SetupDiEnumDeviceInterfaces(info, nullptr, &kInterfaceClass, index, &interfaceData)) {
    return GetLastError() == ERROR_NO_MORE_ITEMS ? EnumResult::NoMoreItems : EnumResult::Skip;
  }

  // The first call only reports the size the detail needs; it fails by design.
  DWORD required = 0;
  (void)SetupDiGetDeviceInterfaceDetailA(info, &interfaceData, nullptr, 0, &required, nullptr);
  constexpr DWORD kFixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (required < kFixedPart) return EnumResult::Skip;

  // The size field holds the fixed part of the structure in this build's own layout (8 bytes in
  // a 64-bit build, 5 in a 32-bit one), not the size of the whole buffer.
  std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  detail->cbSize = kFixedPart;
  if (!SetupDiGetDeviceInterfaceDetailA(info, &interfaceData, detail, required, nullptr, nullptr)) {
    return EnumResult::Skip;
  }
  // The path is zero-terminated within the buffer; never read past it if a driver got it wrong.
  const std::size_t pathCapacity =
      required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  path.assign(detail->DevicePath, strnlen(detail->DevicePath, pathCapacity));
  return EnumResult::Found;
}

void Win32Driver::EndEnumeration() {
  if (deviceInfo_ == nullptr) return;
  SetupDiDestroyDeviceInfoList(static_cast<HDEVINFO>(deviceInfo_));
  deviceInfo_ = nullptr;
}

DeviceHandle Win32Driver::Open(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
  return FromWin32(handle);
}

bool Win32Driver::Control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                          std::uint32_t inputLength, std::uint8_t* output,
                          std::uint32_t outputCapacity, std::uint32_t& returned) {
  returned = 0;
  if (handle == kInvalidHandle) return false;
  DWORD count = 0;
  // DeviceIoControl takes a non-const input pointer but only reads through it.
  const BOOL ok = DeviceIoControl(ToWin32(handle), code, const_cast<std::uint8_t*>(input),
                                  inputLength, output, outputCapacity, &count, nullptr);
  if (!ok) return false;
  returned = count <= outputCapacity ? count : outputCapacity;
  return true;
}

void Win32Driver::Close(DeviceHandle handle) {
  if (handle != kInvalidHandle) CloseHandle(ToWin32(handle));
}

}  // namespace platform
