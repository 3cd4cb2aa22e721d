// Interface texts: Italian.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"Apri ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"Impossibile aprire il browser. Apri ", kMakerSiteName,
                                                  L" manualmente nel browser."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"I primi al mondo."},
    {TextPromoNoAds, L"Niente pubblicità."},
    {TextPromoBeforeOthers, L"Prima di qualsiasi altra fonte."},
    {TextPromoDownloadGames, L"Scarica giochi"},
    {TextPromoPlatforms, L"Per Nintendo Switch, PC e ogni altra piattaforma di gioco."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"File NSZ"},
    {TextChooseNsz, L"Scegli NSZ"},
    {TextChooseNszFiles, L"Scegli i file NSZ"},
    {TextNszFilter, L"File NSZ (*.nsz)"},
    {TextConvertToNsp, L"Converti in NSP"},
    {TextCancel, L"Annulla"},
    {TextChooseAnotherFile, L"Scegli un altro file"},
    {TextSavedAlongside, L"I file NSP verranno salvati accanto ai file di origine."},
    {TextPreparingFile, L"Preparazione del file…"},
    {TextCancelling, L"Annullamento…"},
    {TextConversionCancelled, L"Conversione annullata."},
    {TextConverting, L"Conversione in corso…"},
    {TextDone, L"Fatto"},
    {TextErrUnexpected, L"Un errore imprevisto ha interrotto la conversione. Riavvia l'app e riprova."},
    {TextErrRead, L"Impossibile leggere il file. Copialo in una cartella locale e riprova."},
    {TextErrSave, L"Impossibile salvare l'NSP. Controlla il disco e riprova."},
    {TextErrDamaged, L"Il file NSZ è danneggiato o non è stato scaricato completamente. Scaricalo di nuovo."},
    {TextErrUnsupported, L"Questa variante di NSZ non è ancora supportata. Aggiorna il convertitore o "
                         L"scarica il file in formato NSP."},
    {TextErrNameInUse,
     L"Questo nome è già in uso. Riprova per salvare con un nuovo nome; il file esistente verrà mantenuto."},
    {TextErrInternal,
     L"Un errore interno del sistema ha interrotto l'elaborazione. Riavvia l'app e riprova."},
    {TextErrVerification,
     L"Il file di origine non ha superato la verifica: i suoi dati sono danneggiati. Scaricalo di nuovo."},
    {TextErrOutOfMemory, L"Memoria insufficiente. Chiudi le altre applicazioni e riprova."},
    {TextErrPathAccess, L"Impossibile accedere a questo percorso. Sposta il file di origine in una cartella "
                        L"locale con un percorso più breve e riprova."},
    {TextErrSourceChanged, L"Il file di origine è cambiato durante la conversione. Attendi la fine del "
                           L"download o della copia, poi riprova."},
    {TextErrNoUnusedName,
     L"Impossibile scegliere un nome libero per l'NSP. Rinomina il file di origine e riprova."},
    {TextErrStartFailed, L"Impossibile avviare la conversione. Chiudi le altre app e riprova."},
    {TextUnitMegabytes, L"MB"},
    {TextUnitGigabytes, L"GB"},
    {TextConversionErrorTitle, L"Errore di conversione"},
    {TextErrFolderNotWritable,
     L"Impossibile scrivere in questa cartella. Scegli un'altra cartella per l'NSP."},
    {TextChooseFolderTitle, L"Scegli una cartella per l'NSP"},
    {TextChooseFolder, L"Scegli cartella"},
    {TextNoFolderSelected, L"Nessuna cartella selezionata. Conversione interrotta."},
    {TextSavedTo, L"Salvato in"},
    {TextErrDiskFull, L"Il disco è pieno. Libera spazio o scegli un altro disco."},
    {TextErrFileTooLarge,
     L"Questa unità non può contenere un file così grande. Scegli un'unità formattata in NTFS o exFAT."},
    {TextErrFileInUse, L"Un'altra app sta usando il file. Chiudi quell'app e riprova."},
    {TextErrSourceMissing, L"Il file di origine è stato spostato o eliminato. Scegli di nuovo il file."},
    {TextErrAccessDenied,
     L"Impossibile leggere questo file. Scegli un file a cui hai accesso o controllane le autorizzazioni."},
    {TextErrDriveUnavailable, L"L'unità non è disponibile. Ricollegala e riprova."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker, L"Impossibile aprire la selezione della cartella. Riavvia l'app e riprova."},
    {TextErrFilePicker, L"Impossibile aprire la selezione dei file. Riavvia l'app e riprova."},
    {TextErrNotNsz, L"Il file selezionato non è un file NSZ. Scegli un file in formato NSZ."},
    {TextFinishingSave, L"Completamento del salvataggio…"},
    {TextOpenFolder, L"Apri cartella"},
    {TextErrOpenFolder, L"Impossibile aprire la cartella. Apri il percorso di salvataggio in Esplora file."},
    {TextRequired, L"Richiesto"},
    {TextAvailable, L"Disponibile"},
    {TextErrRecoveryRecords, L"Impossibile creare i file di ripristino. Controlla lo spazio libero e "
                             L"l'accesso alla tua cartella utente."},
    {TextDeleteSources, L"Elimina gli originali dopo la conversione riuscita (senza Cestino)"},
    {TextSelectedFiles, L"File selezionati"},
    {TextFile, L"File"},
    {TextSaved, L"Salvati"},
    {TextFailed, L"Non riusciti"},
    {TextNotProcessed, L"Non elaborati"},
    {TextSourceNotDeleted, L"L'NSP è stato salvato, ma non è stato possibile eliminare il file di origine. "
                           L"Il file di origine è stato mantenuto."},
    {TextSourceDeleted, L"File di origine eliminato."},
    {TextResultsTitle, L"Risultati della conversione"},
    {TextClose, L"Chiudi"},
    {TextSourcesKept, L"Originali mantenuti"},
    {TextSourceInUseKept, L"NSP creato. Un'altra app sta usando il file di origine, quindi è stato "
                          L"mantenuto. Chiudi quell'app ed elimina il file di origine manualmente."},
    {TextWarnSourceNotDeleted, L"NSP creato, originale non eliminato"},
    {TextWarnCompleted, L"Conversione completata con avvisi"},
    {TextNoNszAmongItems, L"Nessun file NSZ tra questi elementi. La selezione non è cambiata."},
};

} // namespace

const TextTable& ItalianTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
