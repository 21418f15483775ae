// The Windows constants the conversion core needs, kept here so that the core builds and is tested on any
// system. The Windows build checks each one against <windows.h> (platform/win32/win32_machine.cpp).
#pragma once

#include <cstdint>

namespace resivex::win {

// System error codes, as the registry API and GetLastError return them.
inline constexpr long error_success = 0;
inline constexpr long error_file_not_found = 2;
inline constexpr long error_access_denied = 5;
inline constexpr long error_invalid_handle = 6;
inline constexpr long error_more_data = 234;
inline constexpr long error_no_more_items = 259;
inline constexpr long error_no_unicode_translation = 1113;
inline constexpr long error_no_system_resources = 1450;

// Registry value types.
inline constexpr std::uint32_t reg_none = 0;
inline constexpr std::uint32_t reg_sz = 1;
inline constexpr std::uint32_t reg_expand_sz = 2;
inline constexpr std::uint32_t reg_binary = 3;
inline constexpr std::uint32_t reg_dword = 4;
inline constexpr std::uint32_t reg_dword_big_endian = 5;
inline constexpr std::uint32_t reg_link = 6;
inline constexpr std::uint32_t reg_multi_sz = 7;
inline constexpr std::uint32_t reg_qword = 11;

// Registry access masks.
inline constexpr std::uint32_t key_read = 0x20019;
inline constexpr std::uint32_t key_wow64_64key = 0x0100;
inline constexpr std::uint32_t key_wow64_32key = 0x0200;

// Predefined root keys: 32-bit handle values sign-extended to the width of a handle.
using reg_key = std::uintptr_t;
constexpr reg_key predefined_key(std::uint32_t value) {
  return static_cast<reg_key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
inline constexpr reg_key hkey_classes_root = predefined_key(0x80000000u);
inline constexpr reg_key hkey_current_user = predefined_key(0x80000001u);
inline constexpr reg_key hkey_local_machine = predefined_key(0x80000002u);
inline constexpr reg_key hkey_users = predefined_key(0x80000003u);
inline constexpr reg_key hkey_current_config = predefined_key(0x80000005u);

// Message box styles.
inline constexpr unsigned mb_ok = 0x00;
inline constexpr unsigned mb_iconerror = 0x10;
inline constexpr unsigned mb_iconwarning = 0x30;

// File system and version information.
inline constexpr std::uint32_t invalid_file_attributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t file_attribute_directory = 0x10;
inline constexpr std::uint32_t ver_platform_win32_nt = 2;

}  // namespace resivex::win
