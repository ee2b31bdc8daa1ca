#pragma once
// Application file paths ("file:///" + volume + escaped segments), the general URL
// value, file-name text rules and the plain "/" paths of the device side.
//
// On this platform the root file system is the volume "Root"; every folder under
// /media/<user> and /mnt is a further volume named after the folder.

#include <string>

#include "base/LString.h"
#include "base/LTextSink.h"

class LCharReader;

class CUrl {
public:
    CUrl() = default;
    explicit CUrl(const char* text);

    bool IsEmpty() const;
    LString& ToString(LString* out) const;
    // Makes this (relative) URL absolute against base.
    void Resolve(const CUrl& base, bool baseIsFolder);

    const LString& Scheme() const { return fScheme; }
    const LString& Authority() const { return fAuthority; }
    const LString& Path() const { return fPath; }
    const LString& Params() const { return fParams; }
    const LString& Query() const { return fQuery; }
    const LString& Fragment() const { return fFragment; }

private:
    // Every part holds its text escaped, exactly as parsed.
    LString fScheme;
    LString fAuthority;
    LString fPath;
    LString fParams;
    LString fQuery;
    LString fFragment;
};

// Segments and names.
void EscapePathSegment(const char* segment, LTextSink& out);
LString& EscapePathSegmentToString(LString* out, const char* segment);
u8 DecodePercentChar(const char** cursor);
LString& NextUrlPathSegment(LString* out, const char** cursor);
void SplitFolderAndName(LString* folder, const char* path, LString* name);
LString& GetLeafName(LString* out, const LString& pathOrUrl);
void AppendPathSegment(LTextSink& out, const char* segment);

struct LPathStatus {
    u32 status = 0;
    LString path;
};
void JoinPath(LPathStatus* out, const LString& folder, const char* name);
void ReplaceLeafName(LString* path, const char* newLeaf);
void NumberedName(LString* path, long n);

// Conversions between application file paths and local paths.
LString& StartupVolumeName(LString* out);
LString& PosixPathToFileUrl(LString* out, const LString& posixPath);
// Empty when the URL names no place on this machine: no volume, a missing volume,
// or a segment that is empty, ".", ".." or holds a zero byte.
LString& FileUrlToPosixPath(LString* out, const LString& fileUrl);
LString& CurrentFolderUrl(LString* out);
bool VolumeExists(const char* volumeName);
// The local folder of a volume; false when there is no such volume.
bool VolumeFolder(const char* volumeName, LString* posixFolder);
bool EnsureFolderPath(const char* text, LString* out, bool createFolders);

// Tests point the volume search at folders of their own; null restores
// /media/<user> and /mnt.
void SetVolumeParentsForTesting(const char* first, const char* second);

// File-name text.
bool IsValidNameChar(u32 c);
const char* FindExtension(const char* name);
LString& GetExtensionLower(LString* out, const char* name);
LString& ReplaceExtension(LString* out, const char* name, const char* ext);
void WriteSanitizedFileName(const char* name, LTextSink& out);

// Device-side "/" paths (no escaping).
bool NextPathComponent(LCharReader& reader, LString* out);
LString& LastPathComponent(LString* out, const char* path);
bool CombinePath(const char* base, const char* name, LTextSink& out);

// The one rule for names on the device. Usable: strict UTF-8 with no "/", no
// byte below 32 and no 127, so that it joins into a device path as one
// component. A device file name is also not empty and not hidden (no leading ".").
bool IsUsableName(const char* name, u32 length);
// A name the user gives a device file (typed, dropped or chosen) without its
// extension: each character that cannot stand in it (below 32, DEL, the full
// stop and " * / : < > ? \ |) and each malformed UTF-8 sequence becomes "_";
// characters from U+0080 on stay.
LString FilterDeviceBaseName(const char* text);
// The name a local file takes on the device: its base name filtered as above
// ("_" when nothing is left of it), then "." and ext ("wav", "drc").
LString DeviceNameForLocalFile(const char* localPath, const char* ext);
bool IsDeviceFileName(const char* name, u32 length);
// Composed (NFC) form of a UTF-8 file name; false on a malformed sequence.
bool ComposeFileNameNfc(const char* name, LTextSink& out);
// Which names of a card's folder are one file. A folder lists the files of
// its one extension, in any case, and the list shows each name composed and
// without it; a memory card's file system (FAT) may well fold case, so that
// "my song" would take the place of "My Song". Names are the same file when
// their base names, composed and case-folded (simple folding, the same in every
// locale), are equal: a name the user could take for a listed one, or that the
// card could store over it, is asked about and never written beside it. A
// malformed name is the same only as itself. The key that tells them apart:
std::string CardNameKey(const char* name);
// The card's two folders of files, spelled here alone: the recordings (kind 0)
// and the audio files (kind 1), as device paths and below a device area's root.
inline constexpr const char* kRecordingsFolder = "/sdc/kevrecfiles";
inline constexpr const char* kAudioFolder = "/sdc/audiofiles";
inline constexpr const char* kRecordingsLeaf = kRecordingsFolder + 5;
inline constexpr const char* kAudioLeaf = kAudioFolder + 5;
// A path below a device area ("kevrecfiles/a.drc"): every component between
// single "/" is a device file name ("//" separates command arguments, so an
// empty component is refused too).
bool IsDeviceRelativePath(const char* path);
