// The text tables: every language complete, English and Russian word for word.
#include "engine/Paths.h"
#include "ui/ScopedInterfaceLanguage.h"
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vesko {
namespace {

constexpr InterfaceLanguage kAllLanguages[] = {
    InterfaceLanguage::English,          InterfaceLanguage::Russian, InterfaceLanguage::Spanish,
    InterfaceLanguage::PortugueseBrazil, InterfaceLanguage::Arabic,  InterfaceLanguage::Italian,
};

std::string Trace(InterfaceLanguage language, int index) {
    return "language " + std::to_string(static_cast<int>(language)) + ", key " + std::to_string(index);
}

const wchar_t* Entry(InterfaceLanguage language, TextKey key) {
    return TextsFor(language)[static_cast<std::size_t>(key)];
}

// Typed here on its own, not shared with the program, so that a slip in either shows.
struct EnglishRussianRow {
    int index;
    TextKey key;
    const wchar_t* english;
    const wchar_t* russian;
};

constexpr EnglishRussianRow kEnglishRussian[] = {
    {0, TextKey::TextPromoFirstInWorld, L"First in the world.", L"Первые в мире."},
    {1, TextKey::TextPromoNoAds, L"No ads.", L"Без рекламы."},
    {2, TextKey::TextPromoBeforeOthers, L"Before any other source.", L"Раньше любого другого источника."},
    {3, TextKey::TextPromoDownloadGames, L"Download games", L"Скачивайте игры"},
    {4, TextKey::TextPromoPlatforms, L"For Nintendo Switch, PC and every other gaming platform.",
     L"Для Nintendo Switch, ПК и любых других игровых платформ."},
    {5, TextKey::TextPromoOpenSite, L"Open vesko.example", L"Открыть vesko.example"},
    {6, TextKey::TextNszFiles, L"NSZ files", L"Файлы NSZ"},
    {7, TextKey::TextChooseNsz, L"Choose NSZ", L"Выбрать NSZ"},
    {8, TextKey::TextChooseNszFiles, L"Choose NSZ files", L"Выберите файлы NSZ"},
    {9, TextKey::TextNszFilter, L"NSZ files (*.nsz)", L"Файлы NSZ (*.nsz)"},
    {10, TextKey::TextConvertToNsp, L"Convert to NSP", L"Конвертировать в NSP"},
    {11, TextKey::TextCancel, L"Cancel", L"Отменить"},
    {12, TextKey::TextChooseAnotherFile, L"Choose another file", L"Выбрать другой файл"},
    {13, TextKey::TextSavedAlongside, L"NSP files will be saved alongside their source files.",
     L"Готовые NSP сохраняются рядом с исходными файлами."},
    {14, TextKey::TextPreparingFile, L"Preparing file…", L"Подготовка файла…"},
    {15, TextKey::TextCancelling, L"Cancelling…", L"Отмена…"},
    {16, TextKey::TextConversionCancelled, L"Conversion cancelled.", L"Конвертация отменена."},
    {17, TextKey::TextConverting, L"Converting…", L"Конвертация…"},
    {18, TextKey::TextDone, L"Done", L"Готово"},
    {19, TextKey::TextErrUnexpected,
     L"An unexpected error stopped conversion. Restart the app and try again.",
     L"Непредвиденный сбой остановил конвертацию. Перезапустите приложение и попробуйте ещё раз."},
    {20, TextKey::TextErrRead, L"Could not read the file. Copy it to a local folder and try again.",
     L"Не удалось прочитать файл. Скопируйте его в папку на компьютере и попробуйте ещё раз."},
    {21, TextKey::TextErrSave, L"Could not save the NSP. Check the disk and try again.",
     L"Не удалось сохранить NSP. Проверьте диск и повторите попытку."},
    {22, TextKey::TextErrDamaged, L"The NSZ file is damaged or was not fully downloaded. Download it again.",
     L"Файл NSZ повреждён или скачан не полностью. Скачайте его заново."},
    {23, TextKey::TextErrUnsupported,
     L"This NSZ variant is not supported yet. Update the converter or download the file in NSP format.",
     L"Этот вариант NSZ пока не поддерживается. Обновите конвертер или скачайте файл в формате NSP."},
    {24, TextKey::TextErrNameInUse,
     L"This name is already in use. Retry to save under a new name; the existing file will be kept.",
     L"Файл с таким именем уже есть. Повторите: NSP получит новое имя, существующий файл сохранится."},
    {25, TextKey::TextErrInternal,
     L"An internal system error interrupted processing. Restart the app and try again.",
     L"Внутренний системный сбой при обработке данных. Перезапустите приложение и попробуйте ещё раз."},
    {26, TextKey::TextErrVerification,
     L"The source file failed verification: its data is damaged. Download it again.",
     L"Исходный файл не прошёл проверку: данные повреждены. Скачайте его заново."},
    {27, TextKey::TextErrOutOfMemory, L"Not enough memory. Close other applications and try again.",
     L"Недостаточно памяти. Закройте другие приложения и попробуйте ещё раз."},
    {28, TextKey::TextErrPathAccess,
     L"Could not access this path. Move the source to a local folder with a shorter path and try again.",
     L"Не удалось открыть этот путь. Переместите исходный файл в папку с коротким путём на компьютере и "
     L"повторите."},
    {29, TextKey::TextErrSourceChanged,
     L"The source file changed during conversion. Wait for downloading or copying to finish, then retry.",
     L"Исходный файл изменился. Дождитесь завершения скачивания или копирования и попробуйте ещё раз."},
    {30, TextKey::TextErrNoUnusedName,
     L"Could not choose an unused name for the NSP. Rename the source file and try again.",
     L"Не удалось выбрать свободное имя для NSP. Переименуйте исходный файл и повторите."},
    {31, TextKey::TextErrStartFailed, L"Could not start conversion. Close other apps and try again.",
     L"Не удалось запустить конвертацию. Закройте другие приложения и попробуйте ещё раз."},
    {32, TextKey::TextUnitMegabytes, L"MB", L"МБ"},
    {33, TextKey::TextUnitGigabytes, L"GB", L"ГБ"},
    {34, TextKey::TextConversionErrorTitle, L"Conversion error", L"Ошибка конвертации"},
    {35, TextKey::TextErrFolderNotWritable,
     L"Cannot write to this folder. Choose another folder for the NSP.",
     L"Нет доступа для записи. Выберите другую папку для готового NSP."},
    {36, TextKey::TextChooseFolderTitle, L"Choose a folder for the NSP", L"Выберите папку для готового NSP"},
    {37, TextKey::TextChooseFolder, L"Choose folder", L"Выбрать папку"},
    {38, TextKey::TextNoFolderSelected, L"No folder selected. Conversion stopped.",
     L"Папка не выбрана. Конвертация остановлена."},
    {39, TextKey::TextSavedTo, L"Saved to", L"Сохранено в"},
    {40, TextKey::TextErrDiskFull, L"The disk is full. Free up space or choose another disk.",
     L"На диске закончилось место. Освободите место или выберите другой диск."},
    {41, TextKey::TextErrFileTooLarge,
     L"This drive cannot store a file this large. Choose a drive formatted as NTFS or exFAT.",
     L"Этот диск не поддерживает файлы такого размера. Выберите диск с файловой системой NTFS или exFAT."},
    {42, TextKey::TextErrFileInUse, L"Another app is using the file. Close that app and try again.",
     L"Файл занят другой программой. Закройте её и попробуйте ещё раз."},
    {43, TextKey::TextErrSourceMissing, L"The source file was moved or deleted. Choose the file again.",
     L"Исходный файл перемещён или удалён. Выберите файл заново."},
    {44, TextKey::TextErrAccessDenied,
     L"Cannot read this file. Choose a file you can access or check its permissions.",
     L"Нет доступа к чтению файла. Выберите доступный файл или проверьте права доступа."},
    {45, TextKey::TextErrDriveUnavailable, L"The drive is unavailable. Reconnect it and try again.",
     L"Диск недоступен. Подключите его заново и попробуйте ещё раз."},
    {46, TextKey::TextErrBrowser, L"Could not open the browser. Open vesko.example manually in your browser.",
     L"Не удалось открыть браузер. Откройте vesko.example в браузере вручную."},
    {47, TextKey::TextErrFolderPicker, L"Could not open the folder selector. Restart the app and try again.",
     L"Не удалось открыть выбор папки. Перезапустите приложение и попробуйте ещё раз."},
    {48, TextKey::TextErrFilePicker, L"Could not open the file selector. Restart the app and try again.",
     L"Не удалось открыть выбор файла. Перезапустите приложение и попробуйте ещё раз."},
    {49, TextKey::TextErrNotNsz, L"The selected file is not an NSZ file. Choose a file in NSZ format.",
     L"Выбранный файл не является NSZ. Выберите файл в формате NSZ."},
    {50, TextKey::TextFinishingSave, L"Finishing save…", L"Завершаем сохранение…"},
    {51, TextKey::TextOpenFolder, L"Open folder", L"Открыть папку"},
    {52, TextKey::TextErrOpenFolder, L"Could not open the folder. Open the saved location in File Explorer.",
     L"Не удалось открыть папку. Откройте указанное место сохранения через Проводник."},
    {53, TextKey::TextRequired, L"Required", L"Требуется"},
    {54, TextKey::TextAvailable, L"Available", L"Доступно"},
    {55, TextKey::TextErrRecoveryRecords,
     L"Could not create recovery records. Check free space and access to your user folder.",
     L"Не удалось создать служебные файлы. Проверьте свободное место и доступ к папке пользователя."},
    {56, TextKey::TextDeleteSources, L"Delete sources after successful conversion (permanently)",
     L"Удалять исходники после успешной конвертации (без корзины)"},
    {57, TextKey::TextSelectedFiles, L"Selected files", L"Выбрано файлов"},
    {58, TextKey::TextFile, L"File", L"Файл"},
    {59, TextKey::TextSaved, L"Saved", L"Готово"},
    {60, TextKey::TextFailed, L"Failed", L"Ошибок"},
    {61, TextKey::TextNotProcessed, L"Not processed", L"Не обработано"},
    {62, TextKey::TextSourceNotDeleted,
     L"The NSP was saved, but the source could not be deleted. The source was kept.",
     L"NSP сохранён, но исходный файл удалить не удалось. Он оставлен без изменений."},
    {63, TextKey::TextSourceDeleted, L"Source file deleted.", L"Исходный файл удалён."},
    {64, TextKey::TextResultsTitle, L"Conversion results", L"Результаты конвертации"},
    {65, TextKey::TextClose, L"Close", L"Закрыть"},
    {66, TextKey::TextSourcesKept, L"Sources kept", L"Не удалено исходников"},
    {67, TextKey::TextSourceInUseKept,
     L"NSP created. Another app is using the source, so it was kept. Close that app and delete the source "
     L"manually.",
     L"NSP успешно создан. Исходник занят другой программой и не удалён. Закройте её и удалите его вручную."},
    {68, TextKey::TextWarnSourceNotDeleted, L"NSP created, source not deleted",
     L"NSP создан, исходник не удалён"},
    {69, TextKey::TextWarnCompleted, L"Conversion completed with warnings",
     L"Конвертация завершена с предупреждениями"},
    {70, TextKey::TextNoNszAmongItems, L"No NSZ files among these items. The selection is unchanged.",
     L"Среди этих объектов нет файлов NSZ. Выбор не изменён."},

};

TEST(TextTables, EnglishAndRussianMatchWordForWord) {
    static_assert(std::size(kEnglishRussian) == kTextCount);
    for (const auto& row : kEnglishRussian) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(static_cast<int>(row.key), row.index);
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::English, row.key)), row.english)
            << ToUtf8(Entry(InterfaceLanguage::English, row.key));
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::Russian, row.key)), row.russian)
            << ToUtf8(Entry(InterfaceLanguage::Russian, row.key));
    }
}

struct GivenRow {
    TextKey key;
    const wchar_t* spanish;
    const wchar_t* portuguese;
    const wchar_t* arabic;
    const wchar_t* italian;
};

constexpr GivenRow kGivenRows[] = {
    {TextKey::TextConvertToNsp, L"Convertir a NSP", L"Converter para NSP", L"حوّل إلى NSP",
     L"Converti in NSP"},
    {TextKey::TextCancel, L"Cancelar", L"Cancelar", L"إلغاء", L"Annulla"},
    {TextKey::TextDone, L"Listo", L"Pronto", L"تم التحويل", L"Fatto"},
    {TextKey::TextUnitMegabytes, L"MB", L"MB", L"م.ب", L"MB"},
    {TextKey::TextUnitGigabytes, L"GB", L"GB", L"غ.ب", L"GB"},
    {TextKey::TextDeleteSources, L"Eliminar originales tras convertirlos correctamente (sin papelera)",
     L"Excluir originais após converter com sucesso (sem Lixeira)",
     L"حذف الملفات الأصلية بعد نجاح التحويل (دون سلة المحذوفات)",
     L"Elimina gli originali dopo la conversione riuscita (senza Cestino)"},
    {TextKey::TextResultsTitle, L"Resultados de la conversión", L"Resultados da conversão", L"نتائج التحويل",
     L"Risultati della conversione"},
    {TextKey::TextClose, L"Cerrar", L"Fechar", L"إغلاق", L"Chiudi"},
};

TEST(TextTables, GivenTranslationsAppearExactly) {
    for (const auto& row : kGivenRows) {
        SCOPED_TRACE(static_cast<int>(row.key));
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::Spanish, row.key)), row.spanish);
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::PortugueseBrazil, row.key)), row.portuguese);
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::Arabic, row.key)), row.arabic);
        EXPECT_EQ(std::wstring(Entry(InterfaceLanguage::Italian, row.key)), row.italian);
    }
}

TEST(TextTables, EveryLanguageHasEveryTextNonEmpty) {
    for (InterfaceLanguage language : kAllLanguages) {
        const TextTable& table = TextsFor(language);
        EXPECT_EQ(table.size(), 71u);
        for (int index = 0; index < kTextCount; ++index) {
            SCOPED_TRACE(Trace(language, index));
            const wchar_t* text = table[static_cast<std::size_t>(index)];
            ASSERT_NE(text, nullptr);
            const std::wstring_view view(text);
            EXPECT_FALSE(view.empty());
            EXPECT_NE(view.front(), L' ');
            EXPECT_NE(view.back(), L' ');
        }
    }
}

TEST(TextTables, EachLanguageHasItsOwnTable) {
    std::set<const TextTable*> tables;
    for (InterfaceLanguage language : kAllLanguages) {
        tables.insert(&TextsFor(language));
    }
    EXPECT_EQ(tables.size(), std::size(kAllLanguages));
}

// A text left in English by mistake shows up here; only these are the same word in both languages.
TEST(TextTables, TranslationsAreNotEnglishLeftOvers) {
    const std::set<std::pair<InterfaceLanguage, TextKey>> sameAsEnglish = {
        {InterfaceLanguage::Spanish, TextKey::TextUnitMegabytes},
        {InterfaceLanguage::Spanish, TextKey::TextUnitGigabytes},
        {InterfaceLanguage::PortugueseBrazil, TextKey::TextUnitMegabytes},
        {InterfaceLanguage::PortugueseBrazil, TextKey::TextUnitGigabytes},
        {InterfaceLanguage::Italian, TextKey::TextUnitMegabytes},
        {InterfaceLanguage::Italian, TextKey::TextUnitGigabytes},
        {InterfaceLanguage::Italian, TextKey::TextFile},
    };
    for (InterfaceLanguage language : kAllLanguages) {
        if (language == InterfaceLanguage::English) {
            continue;
        }
        for (int index = 0; index < kTextCount; ++index) {
            SCOPED_TRACE(Trace(language, index));
            const auto key = static_cast<TextKey>(index);
            const bool same =
                std::wstring_view(Entry(language, key)) == Entry(InterfaceLanguage::English, key);
            EXPECT_EQ(same, sameAsEnglish.count({language, key}) == 1);
        }
    }
}

// Where English trails off with "…" every language does, with the single character, never three dots.
TEST(TextTables, EllipsisIsOneCharacterWhereEnglishHasIt) {
    for (InterfaceLanguage language : kAllLanguages) {
        for (int index = 0; index < kTextCount; ++index) {
            SCOPED_TRACE(Trace(language, index));
            const auto key = static_cast<TextKey>(index);
            const std::wstring_view text = Entry(language, key);
            const bool englishEndsInEllipsis =
                std::wstring_view(Entry(InterfaceLanguage::English, key)).ends_with(L'\u2026');
            EXPECT_EQ(text.ends_with(L'\u2026'), englishEndsInEllipsis);
            EXPECT_EQ(text.find(L"..."), std::wstring_view::npos);
        }
    }
}

TEST(TextTables, SiteTextsNameTheMakersSite) {
    EXPECT_EQ(std::wstring_view(kMakerSiteName), L"vesko.example");
    EXPECT_EQ(std::wstring_view(kMakerSiteUrl), L"https://vesko.example/");
    for (InterfaceLanguage language : kAllLanguages) {
        SCOPED_TRACE(static_cast<int>(language));
        const std::wstring_view open = Entry(language, TextKey::TextPromoOpenSite);
        EXPECT_TRUE(open.ends_with(L" vesko.example")) << ToUtf8(std::wstring(open));
        const std::wstring_view browser = Entry(language, TextKey::TextErrBrowser);
        EXPECT_NE(browser.find(L" vesko.example "), std::wstring_view::npos) << ToUtf8(std::wstring(browser));
    }
}

TEST(TextTables, OutOfRangeLanguagesGiveEnglish) {
    const TextTable& english = TextsFor(InterfaceLanguage::English);
    for (int value : {-1, 6, 7, 100, -2147483647 - 1}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(&TextsFor(static_cast<InterfaceLanguage>(value)), &english);
    }
}

TEST(Text, LooksUpTheCurrentLanguageWithoutCopying) {
    for (InterfaceLanguage language : kAllLanguages) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        for (int index = 0; index < kTextCount; ++index) {
            const auto key = static_cast<TextKey>(index);
            EXPECT_EQ(Text(key), Entry(language, key));
        }
    }
}

TEST(Text, KeyOutsideTheTableGivesTheUnexpectedErrorText) {
    ScopedInterfaceLanguage scoped(InterfaceLanguage::Italian);
    for (int value : {-1, kTextCount, 1000}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(Text(static_cast<TextKey>(value)),
                  Entry(InterfaceLanguage::Italian, TextKey::TextErrUnexpected));
    }
}

} // namespace
} // namespace vesko
