// Interface texts: Russian.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"Открыть ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"Не удалось открыть браузер. Откройте ", kMakerSiteName,
                                                  L" в браузере вручную."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"Первые в мире."},
    {TextPromoNoAds, L"Без рекламы."},
    {TextPromoBeforeOthers, L"Раньше любого другого источника."},
    {TextPromoDownloadGames, L"Скачивайте игры"},
    {TextPromoPlatforms, L"Для Nintendo Switch, ПК и любых других игровых платформ."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"Файлы NSZ"},
    {TextChooseNsz, L"Выбрать NSZ"},
    {TextChooseNszFiles, L"Выберите файлы NSZ"},
    {TextNszFilter, L"Файлы NSZ (*.nsz)"},
    {TextConvertToNsp, L"Конвертировать в NSP"},
    {TextCancel, L"Отменить"},
    {TextChooseAnotherFile, L"Выбрать другой файл"},
    {TextSavedAlongside, L"Готовые NSP сохраняются рядом с исходными файлами."},
    {TextPreparingFile, L"Подготовка файла…"},
    {TextCancelling, L"Отмена…"},
    {TextConversionCancelled, L"Конвертация отменена."},
    {TextConverting, L"Конвертация…"},
    {TextDone, L"Готово"},
    {TextErrUnexpected,
     L"Непредвиденный сбой остановил конвертацию. Перезапустите приложение и попробуйте ещё раз."},
    {TextErrRead, L"Не удалось прочитать файл. Скопируйте его в папку на компьютере и попробуйте ещё раз."},
    {TextErrSave, L"Не удалось сохранить NSP. Проверьте диск и повторите попытку."},
    {TextErrDamaged, L"Файл NSZ повреждён или скачан не полностью. Скачайте его заново."},
    {TextErrUnsupported,
     L"Этот вариант NSZ пока не поддерживается. Обновите конвертер или скачайте файл в формате NSP."},
    {TextErrNameInUse,
     L"Файл с таким именем уже есть. Повторите: NSP получит новое имя, существующий файл сохранится."},
    {TextErrInternal,
     L"Внутренний системный сбой при обработке данных. Перезапустите приложение и попробуйте ещё раз."},
    {TextErrVerification, L"Исходный файл не прошёл проверку: данные повреждены. Скачайте его заново."},
    {TextErrOutOfMemory, L"Недостаточно памяти. Закройте другие приложения и попробуйте ещё раз."},
    {TextErrPathAccess, L"Не удалось открыть этот путь. Переместите исходный файл в папку с коротким путём "
                        L"на компьютере и повторите."},
    {TextErrSourceChanged,
     L"Исходный файл изменился. Дождитесь завершения скачивания или копирования и попробуйте ещё раз."},
    {TextErrNoUnusedName,
     L"Не удалось выбрать свободное имя для NSP. Переименуйте исходный файл и повторите."},
    {TextErrStartFailed,
     L"Не удалось запустить конвертацию. Закройте другие приложения и попробуйте ещё раз."},
    {TextUnitMegabytes, L"МБ"},
    {TextUnitGigabytes, L"ГБ"},
    {TextConversionErrorTitle, L"Ошибка конвертации"},
    {TextErrFolderNotWritable, L"Нет доступа для записи. Выберите другую папку для готового NSP."},
    {TextChooseFolderTitle, L"Выберите папку для готового NSP"},
    {TextChooseFolder, L"Выбрать папку"},
    {TextNoFolderSelected, L"Папка не выбрана. Конвертация остановлена."},
    {TextSavedTo, L"Сохранено в"},
    {TextErrDiskFull, L"На диске закончилось место. Освободите место или выберите другой диск."},
    {TextErrFileTooLarge,
     L"Этот диск не поддерживает файлы такого размера. Выберите диск с файловой системой NTFS или exFAT."},
    {TextErrFileInUse, L"Файл занят другой программой. Закройте её и попробуйте ещё раз."},
    {TextErrSourceMissing, L"Исходный файл перемещён или удалён. Выберите файл заново."},
    {TextErrAccessDenied,
     L"Нет доступа к чтению файла. Выберите доступный файл или проверьте права доступа."},
    {TextErrDriveUnavailable, L"Диск недоступен. Подключите его заново и попробуйте ещё раз."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker, L"Не удалось открыть выбор папки. Перезапустите приложение и попробуйте ещё раз."},
    {TextErrFilePicker, L"Не удалось открыть выбор файла. Перезапустите приложение и попробуйте ещё раз."},
    {TextErrNotNsz, L"Выбранный файл не является NSZ. Выберите файл в формате NSZ."},
    {TextFinishingSave, L"Завершаем сохранение…"},
    {TextOpenFolder, L"Открыть папку"},
    {TextErrOpenFolder, L"Не удалось открыть папку. Откройте указанное место сохранения через Проводник."},
    {TextRequired, L"Требуется"},
    {TextAvailable, L"Доступно"},
    {TextErrRecoveryRecords,
     L"Не удалось создать служебные файлы. Проверьте свободное место и доступ к папке пользователя."},
    {TextDeleteSources, L"Удалять исходники после успешной конвертации (без корзины)"},
    {TextSelectedFiles, L"Выбрано файлов"},
    {TextFile, L"Файл"},
    {TextSaved, L"Готово"},
    {TextFailed, L"Ошибок"},
    {TextNotProcessed, L"Не обработано"},
    {TextSourceNotDeleted, L"NSP сохранён, но исходный файл удалить не удалось. Он оставлен без изменений."},
    {TextSourceDeleted, L"Исходный файл удалён."},
    {TextResultsTitle, L"Результаты конвертации"},
    {TextClose, L"Закрыть"},
    {TextSourcesKept, L"Не удалено исходников"},
    {TextSourceInUseKept,
     L"NSP успешно создан. Исходник занят другой программой и не удалён. Закройте её и удалите его вручную."},
    {TextWarnSourceNotDeleted, L"NSP создан, исходник не удалён"},
    {TextWarnCompleted, L"Конвертация завершена с предупреждениями"},
    {TextNoNszAmongItems, L"Среди этих объектов нет файлов NSZ. Выбор не изменён."},
};

} // namespace

const TextTable& RussianTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
