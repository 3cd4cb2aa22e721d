// Interface texts: Spanish.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"Abrir ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"No se pudo abrir el navegador. Abre ", kMakerSiteName,
                                                  L" manualmente en tu navegador."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"Los primeros del mundo."},
    {TextPromoNoAds, L"Sin anuncios."},
    {TextPromoBeforeOthers, L"Antes que cualquier otra fuente."},
    {TextPromoDownloadGames, L"Descarga juegos"},
    {TextPromoPlatforms, L"Para Nintendo Switch, PC y cualquier otra plataforma de juegos."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"Archivos NSZ"},
    {TextChooseNsz, L"Elegir NSZ"},
    {TextChooseNszFiles, L"Elige archivos NSZ"},
    {TextNszFilter, L"Archivos NSZ (*.nsz)"},
    {TextConvertToNsp, L"Convertir a NSP"},
    {TextCancel, L"Cancelar"},
    {TextChooseAnotherFile, L"Elegir otro archivo"},
    {TextSavedAlongside, L"Los NSP se guardarán junto a sus archivos de origen."},
    {TextPreparingFile, L"Preparando el archivo…"},
    {TextCancelling, L"Cancelando…"},
    {TextConversionCancelled, L"Conversión cancelada."},
    {TextConverting, L"Convirtiendo…"},
    {TextDone, L"Listo"},
    {TextErrUnexpected,
     L"Un error inesperado detuvo la conversión. Reinicia la aplicación y vuelve a intentarlo."},
    {TextErrRead, L"No se pudo leer el archivo. Cópialo a una carpeta local y vuelve a intentarlo."},
    {TextErrSave, L"No se pudo guardar el NSP. Revisa el disco y vuelve a intentarlo."},
    {TextErrDamaged, L"El archivo NSZ está dañado o no se descargó por completo. Descárgalo de nuevo."},
    {TextErrUnsupported, L"Esta variante de NSZ aún no es compatible. Actualiza el convertidor o descarga el "
                         L"archivo en formato NSP."},
    {TextErrNameInUse, L"Este nombre ya está en uso. Vuelve a intentarlo para guardar con un nombre nuevo; "
                       L"el archivo existente se conservará."},
    {TextErrInternal,
     L"Un error interno del sistema interrumpió el proceso. Reinicia la aplicación y vuelve a intentarlo."},
    {TextErrVerification,
     L"El archivo de origen no superó la verificación: sus datos están dañados. Descárgalo de nuevo."},
    {TextErrOutOfMemory, L"No hay suficiente memoria. Cierra otras aplicaciones y vuelve a intentarlo."},
    {TextErrPathAccess, L"No se pudo acceder a esta ruta. Mueve el archivo de origen a una carpeta local con "
                        L"una ruta más corta y vuelve a intentarlo."},
    {TextErrSourceChanged, L"El archivo de origen cambió durante la conversión. Espera a que termine la "
                           L"descarga o la copia y vuelve a intentarlo."},
    {TextErrNoUnusedName, L"No se pudo elegir un nombre libre para el NSP. Cambia el nombre del archivo de "
                          L"origen y vuelve a intentarlo."},
    {TextErrStartFailed,
     L"No se pudo iniciar la conversión. Cierra otras aplicaciones y vuelve a intentarlo."},
    {TextUnitMegabytes, L"MB"},
    {TextUnitGigabytes, L"GB"},
    {TextConversionErrorTitle, L"Error de conversión"},
    {TextErrFolderNotWritable, L"No se puede escribir en esta carpeta. Elige otra carpeta para el NSP."},
    {TextChooseFolderTitle, L"Elige una carpeta para el NSP"},
    {TextChooseFolder, L"Elegir carpeta"},
    {TextNoFolderSelected, L"No se seleccionó ninguna carpeta. Conversión detenida."},
    {TextSavedTo, L"Guardado en"},
    {TextErrDiskFull, L"El disco está lleno. Libera espacio o elige otro disco."},
    {TextErrFileTooLarge,
     L"Esta unidad no admite archivos tan grandes. Elige una unidad con formato NTFS o exFAT."},
    {TextErrFileInUse, L"Otra aplicación está usando el archivo. Ciérrala y vuelve a intentarlo."},
    {TextErrSourceMissing, L"El archivo de origen se movió o se eliminó. Vuelve a elegir el archivo."},
    {TextErrAccessDenied,
     L"No se puede leer este archivo. Elige un archivo al que tengas acceso o revisa sus permisos."},
    {TextErrDriveUnavailable, L"La unidad no está disponible. Conéctala de nuevo y vuelve a intentarlo."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker,
     L"No se pudo abrir el selector de carpetas. Reinicia la aplicación y vuelve a intentarlo."},
    {TextErrFilePicker,
     L"No se pudo abrir el selector de archivos. Reinicia la aplicación y vuelve a intentarlo."},
    {TextErrNotNsz, L"El archivo seleccionado no es un archivo NSZ. Elige un archivo en formato NSZ."},
    {TextFinishingSave, L"Terminando de guardar…"},
    {TextOpenFolder, L"Abrir carpeta"},
    {TextErrOpenFolder,
     L"No se pudo abrir la carpeta. Abre la ubicación de guardado en el Explorador de archivos."},
    {TextRequired, L"Necesario"},
    {TextAvailable, L"Disponible"},
    {TextErrRecoveryRecords, L"No se pudieron crear los registros de recuperación. Comprueba el espacio "
                             L"libre y el acceso a tu carpeta de usuario."},
    {TextDeleteSources, L"Eliminar originales tras convertirlos correctamente (sin papelera)"},
    {TextSelectedFiles, L"Archivos seleccionados"},
    {TextFile, L"Archivo"},
    {TextSaved, L"Guardados"},
    {TextFailed, L"Fallidos"},
    {TextNotProcessed, L"Sin procesar"},
    {TextSourceNotDeleted,
     L"El NSP se guardó, pero no se pudo eliminar el archivo de origen. El archivo de origen se conservó."},
    {TextSourceDeleted, L"Archivo de origen eliminado."},
    {TextResultsTitle, L"Resultados de la conversión"},
    {TextClose, L"Cerrar"},
    {TextSourcesKept, L"Originales conservados"},
    {TextSourceInUseKept, L"NSP creado. Otra aplicación está usando el archivo de origen, así que se "
                          L"conservó. Cierra esa aplicación y elimina el archivo de origen manualmente."},
    {TextWarnSourceNotDeleted, L"NSP creado, original no eliminado"},
    {TextWarnCompleted, L"Conversión completada con advertencias"},
    {TextNoNszAmongItems, L"No hay archivos NSZ entre estos elementos. La selección no ha cambiado."},
};

} // namespace

const TextTable& SpanishTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
