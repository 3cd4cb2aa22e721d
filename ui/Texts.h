// Interface texts in six languages and the language the interface speaks.
#pragma once

#include <array>
#include <string>

namespace vesko {

enum class InterfaceLanguage : int {
    English = 0,
    Russian = 1,
    Spanish = 2,
    PortugueseBrazil = 3,
    Arabic = 4,
    Italian = 5,
};

// The value is the index into every language's table: never reorder.
enum class TextKey : int {
    TextPromoFirstInWorld = 0,
    TextPromoNoAds = 1,
    TextPromoBeforeOthers = 2,
    TextPromoDownloadGames = 3,
    TextPromoPlatforms = 4,
    TextPromoOpenSite = 5,
    TextNszFiles = 6,
    TextChooseNsz = 7,
    TextChooseNszFiles = 8,
    TextNszFilter = 9,
    TextConvertToNsp = 10,
    TextCancel = 11,
    TextChooseAnotherFile = 12,
    TextSavedAlongside = 13,
    TextPreparingFile = 14,
    TextCancelling = 15,
    TextConversionCancelled = 16,
    TextConverting = 17,
    TextDone = 18,
    TextErrUnexpected = 19,
    TextErrRead = 20,
    TextErrSave = 21,
    TextErrDamaged = 22,
    TextErrUnsupported = 23,
    TextErrNameInUse = 24,
    TextErrInternal = 25,
    TextErrVerification = 26,
    TextErrOutOfMemory = 27,
    TextErrPathAccess = 28,
    TextErrSourceChanged = 29,
    TextErrNoUnusedName = 30,
    TextErrStartFailed = 31,
    TextUnitMegabytes = 32,
    TextUnitGigabytes = 33,
    TextConversionErrorTitle = 34,
    TextErrFolderNotWritable = 35,
    TextChooseFolderTitle = 36,
    TextChooseFolder = 37,
    TextNoFolderSelected = 38,
    TextSavedTo = 39,
    TextErrDiskFull = 40,
    TextErrFileTooLarge = 41,
    TextErrFileInUse = 42,
    TextErrSourceMissing = 43,
    TextErrAccessDenied = 44,
    TextErrDriveUnavailable = 45,
    TextErrBrowser = 46,
    TextErrFolderPicker = 47,
    TextErrFilePicker = 48,
    TextErrNotNsz = 49,
    TextFinishingSave = 50,
    TextOpenFolder = 51,
    TextErrOpenFolder = 52,
    TextRequired = 53,
    TextAvailable = 54,
    TextErrRecoveryRecords = 55,
    TextDeleteSources = 56,
    TextSelectedFiles = 57,
    TextFile = 58,
    TextSaved = 59,
    TextFailed = 60,
    TextNotProcessed = 61,
    TextSourceNotDeleted = 62,
    TextSourceDeleted = 63,
    TextResultsTitle = 64,
    TextClose = 65,
    TextSourcesKept = 66,
    TextSourceInUseKept = 67,
    TextWarnSourceNotDeleted = 68,
    TextWarnCompleted = 69,
    TextNoNszAmongItems = 70,
};

constexpr int kTextCount = 71;

// Static, NUL-terminated texts: lookups hand out these pointers and never allocate.
using TextTable = std::array<const wchar_t*, kTextCount>;

// The only place the maker's web site is named; the texts that mention it are built from this.
inline constexpr const wchar_t* kMakerSiteName = L"vesko.example";
inline constexpr const wchar_t* kMakerSiteUrl = L"https://vesko.example/";

// Any value outside 1..5 (a cast from int included) gives English.
const TextTable& TextsFor(InterfaceLanguage language);

// The text of the current language; a key outside the table gives its TextErrUnexpected.
const wchar_t* Text(TextKey key);

// Called once at start-up, before any window or worker exists: sets the language, then the
// right-to-left flag. Later readers on other threads therefore need no lock.
void SetInterfaceLanguage(InterfaceLanguage language);
InterfaceLanguage CurrentInterfaceLanguage();

// The process-wide right-to-left flag, true exactly when the current language is Arabic.
bool IsRightToLeftMode();
bool IsRightToLeft(InterfaceLanguage language);

// File names, paths and sizes keep their order inside Arabic sentences only between two U+200E marks.
std::wstring IsolateLeftToRight(const std::wstring& text);

// "ru-RU", "Ru_ru", "pt-PT" and the like; anything that is not one of the five known languages is English.
InterfaceLanguage LanguageFromLocaleName(const std::wstring& localeName);

// The user's Windows display language, on POSIX the locale variables; English when it cannot be told.
InterfaceLanguage DetectInterfaceLanguage();

#ifdef _WIN32

// The language of a Windows language identifier (the seam of DetectInterfaceLanguage).
InterfaceLanguage LanguageFromLanguageId(unsigned short languageId);
#endif

} // namespace vesko
