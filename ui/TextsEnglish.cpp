// Interface texts: English, the fallback for every language the interface does not know.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"Open ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"Could not open the browser. Open ", kMakerSiteName,
                                                  L" manually in your browser."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"First in the world."},
    {TextPromoNoAds, L"No ads."},
    {TextPromoBeforeOthers, L"Before any other source."},
    {TextPromoDownloadGames, L"Download games"},
    {TextPromoPlatforms, L"For Nintendo Switch, PC and every other gaming platform."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"NSZ files"},
    {TextChooseNsz, L"Choose NSZ"},
    {TextChooseNszFiles, L"Choose NSZ files"},
    {TextNszFilter, L"NSZ files (*.nsz)"},
    {TextConvertToNsp, L"Convert to NSP"},
    {TextCancel, L"Cancel"},
    {TextChooseAnotherFile, L"Choose another file"},
    {TextSavedAlongside, L"NSP files will be saved alongside their source files."},
    {TextPreparingFile, L"Preparing file…"},
    {TextCancelling, L"Cancelling…"},
    {TextConversionCancelled, L"Conversion cancelled."},
    {TextConverting, L"Converting…"},
    {TextDone, L"Done"},
    {TextErrUnexpected, L"An unexpected error stopped conversion. Restart the app and try again."},
    {TextErrRead, L"Could not read the file. Copy it to a local folder and try again."},
    {TextErrSave, L"Could not save the NSP. Check the disk and try again."},
    {TextErrDamaged, L"The NSZ file is damaged or was not fully downloaded. Download it again."},
    {TextErrUnsupported,
     L"This NSZ variant is not supported yet. Update the converter or download the file in NSP format."},
    {TextErrNameInUse,
     L"This name is already in use. Retry to save under a new name; the existing file will be kept."},
    {TextErrInternal, L"An internal system error interrupted processing. Restart the app and try again."},
    {TextErrVerification, L"The source file failed verification: its data is damaged. Download it again."},
    {TextErrOutOfMemory, L"Not enough memory. Close other applications and try again."},
    {TextErrPathAccess,
     L"Could not access this path. Move the source to a local folder with a shorter path and try again."},
    {TextErrSourceChanged,
     L"The source file changed during conversion. Wait for downloading or copying to finish, then retry."},
    {TextErrNoUnusedName,
     L"Could not choose an unused name for the NSP. Rename the source file and try again."},
    {TextErrStartFailed, L"Could not start conversion. Close other apps and try again."},
    {TextUnitMegabytes, L"MB"},
    {TextUnitGigabytes, L"GB"},
    {TextConversionErrorTitle, L"Conversion error"},
    {TextErrFolderNotWritable, L"Cannot write to this folder. Choose another folder for the NSP."},
    {TextChooseFolderTitle, L"Choose a folder for the NSP"},
    {TextChooseFolder, L"Choose folder"},
    {TextNoFolderSelected, L"No folder selected. Conversion stopped."},
    {TextSavedTo, L"Saved to"},
    {TextErrDiskFull, L"The disk is full. Free up space or choose another disk."},
    {TextErrFileTooLarge,
     L"This drive cannot store a file this large. Choose a drive formatted as NTFS or exFAT."},
    {TextErrFileInUse, L"Another app is using the file. Close that app and try again."},
    {TextErrSourceMissing, L"The source file was moved or deleted. Choose the file again."},
    {TextErrAccessDenied, L"Cannot read this file. Choose a file you can access or check its permissions."},
    {TextErrDriveUnavailable, L"The drive is unavailable. Reconnect it and try again."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker, L"Could not open the folder selector. Restart the app and try again."},
    {TextErrFilePicker, L"Could not open the file selector. Restart the app and try again."},
    {TextErrNotNsz, L"The selected file is not an NSZ file. Choose a file in NSZ format."},
    {TextFinishingSave, L"Finishing save…"},
    {TextOpenFolder, L"Open folder"},
    {TextErrOpenFolder, L"Could not open the folder. Open the saved location in File Explorer."},
    {TextRequired, L"Required"},
    {TextAvailable, L"Available"},
    {TextErrRecoveryRecords,
     L"Could not create recovery records. Check free space and access to your user folder."},
    {TextDeleteSources, L"Delete sources after successful conversion (permanently)"},
    {TextSelectedFiles, L"Selected files"},
    {TextFile, L"File"},
    {TextSaved, L"Saved"},
    {TextFailed, L"Failed"},
    {TextNotProcessed, L"Not processed"},
    {TextSourceNotDeleted, L"The NSP was saved, but the source could not be deleted. The source was kept."},
    {TextSourceDeleted, L"Source file deleted."},
    {TextResultsTitle, L"Conversion results"},
    {TextClose, L"Close"},
    {TextSourcesKept, L"Sources kept"},
    {TextSourceInUseKept, L"NSP created. Another app is using the source, so it was kept. Close that app and "
                          L"delete the source manually."},
    {TextWarnSourceNotDeleted, L"NSP created, source not deleted"},
    {TextWarnCompleted, L"Conversion completed with warnings"},
    {TextNoNszAmongItems, L"No NSZ files among these items. The selection is unchanged."},
};

} // namespace

const TextTable& EnglishTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
