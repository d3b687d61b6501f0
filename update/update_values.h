#pragma once

// The fixed values of the update run. The server's host is a build setting (host or host:port).
#ifndef PELMORA_UPDATE_HOST
#define PELMORA_UPDATE_HOST "update.pelmora.example"
#endif

namespace update_values {
inline constexpr char kUpdateBaseUrl[] = "http://" PELMORA_UPDATE_HOST "/update/pelmoraDesk/";
inline constexpr char kArchiveName[] = "latest.zip";
inline constexpr char kSeparator[] = "\\";
inline constexpr char kStagingFolder[] = "latest\\";
inline constexpr char kApplicationName[] = "Pelmora.exe";
inline constexpr char kApplicationSuffix[] = "\\Pelmora.exe";
inline constexpr char kBackupSuffix[] = "\\Pelmora.exe.bak";
inline constexpr char kKeySuffix[] = "\\key";
inline constexpr char kSuccessMessage[] = "升级成功！";
inline constexpr char kSearchSuffix[] = "\\*.*";
}  // namespace update_values
