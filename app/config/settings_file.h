// The settings file: a raw image of the record's sixteen layer modes (32-bit little-endian,
// layer 0 first) followed by its sixteen 1024-byte layers, 16448 bytes, no header. Free of
// any window toolkit, so that other programs can read and write the same files.
#pragma once

#include "config/msr_settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr size_t kSettingsModesBytes = kLayerCount * 4;                                // 64
constexpr size_t kSettingsFileBytes = kSettingsModesBytes + kLayerCount * kLayerBytes; // 16448

using TSettingsImage = std::array<uint8_t, kSettingsFileBytes>;

// The image of the record's modes and layers, as they are.
TSettingsImage SettingsImageOf(const TMsrSettings &s);

// What a saved file carries of the language: layer 2 wholly zero but for the item index of
// the language list as a signed 32-bit value at its start (kUnknownLanguage while the list
// shows "UNKNOW").
void PutFileLanguage(TMsrSettings &s, int languageChoice);

// "" when the bytes can be a settings file, else why not: empty, longer than 16448 bytes, or
// a layer mode other than empty, Code, ASCII and layer marker. A shorter file is fine; what
// it lacks reads as zero.
std::string CheckSettingsImage(const uint8_t *data, size_t size);

// Opens an image into the record: checks it first and leaves the record untouched when it is
// refused (the reason is returned). Otherwise modes and layers are replaced (what a short
// file lacks is zero), ASCII layers rewritten as the one typed text of what they send
// (NormaliseTypedLayers), the names rebuilt, and "" returned. ReadingSequence,
// EditedSequence and CustomLanguage are left as they are.
std::string RecordFromSettingsImage(const uint8_t *data, size_t size, TMsrSettings &s);

// Reads a settings file: at most one byte more than a settings file holds, so that an
// over-long file is seen. "" or the reason it could not be read.
std::string ReadSettingsFile(const std::string &path, std::vector<uint8_t> &bytes);

// Writes a file so that it is either wholly replaced or left as it was: a new file beside it
// is written, flushed to the disk and renamed over it, and the folder is flushed after the
// rename; on any failure the new file is removed. Keeps the permissions of a file it
// replaces. Symbolic links are followed (the link stays, the file it names is written). An
// existing file is refused, and left untouched, when it is no regular file, has more than one
// hard link, belongs to another user or is not writable by this one. "" or what failed, with
// the system's reason.
std::string WriteFileAtomically(const std::string &path, const uint8_t *data, size_t size);

// Fault injection for tests: the hook is asked before each step and fails it with the error
// number it returns (0 runs the step). SyncFolder comes after Rename.
enum class TFileStep { Open, Read, Write, Sync, Close, Rename, SyncFolder };
void SetFileFaultHook(std::function<int(TFileStep)> hook);
