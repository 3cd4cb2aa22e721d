// Interface texts: Arabic, drawn right to left; names, paths and sizes inside it are isolated by the callers.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"افتح ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"تعذّر فتح المتصفح. افتح ", kMakerSiteName,
                                                  L" يدويًا في متصفحك."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"الأوائل في العالم."},
    {TextPromoNoAds, L"بلا إعلانات."},
    {TextPromoBeforeOthers, L"قبل أي مصدر آخر."},
    {TextPromoDownloadGames, L"نزّل الألعاب"},
    {TextPromoPlatforms, L"لجهاز Nintendo Switch والكمبيوتر وجميع منصات الألعاب الأخرى."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"ملفات NSZ"},
    {TextChooseNsz, L"اختر NSZ"},
    {TextChooseNszFiles, L"اختر ملفات NSZ"},
    {TextNszFilter, L"ملفات NSZ (*.nsz)"},
    {TextConvertToNsp, L"حوّل إلى NSP"},
    {TextCancel, L"إلغاء"},
    {TextChooseAnotherFile, L"اختر ملفًا آخر"},
    {TextSavedAlongside, L"ستُحفظ ملفات NSP بجوار ملفاتها الأصلية."},
    {TextPreparingFile, L"جارٍ تحضير الملف…"},
    {TextCancelling, L"جارٍ الإلغاء…"},
    {TextConversionCancelled, L"تم إلغاء التحويل."},
    {TextConverting, L"جارٍ التحويل…"},
    {TextDone, L"تم التحويل"},
    {TextErrUnexpected, L"أدى خطأ غير متوقع إلى إيقاف التحويل. أعد تشغيل التطبيق وحاول مرة أخرى."},
    {TextErrRead, L"تعذّرت قراءة الملف. انسخه إلى مجلد محلي وحاول مرة أخرى."},
    {TextErrSave, L"تعذّر حفظ ملف NSP. تحقّق من القرص وحاول مرة أخرى."},
    {TextErrDamaged, L"ملف NSZ تالف أو لم يكتمل تنزيله. نزّله مرة أخرى."},
    {TextErrUnsupported, L"هذا النوع من NSZ غير مدعوم بعد. حدّث المحوّل أو نزّل الملف بتنسيق NSP."},
    {TextErrNameInUse, L"هذا الاسم مستخدم بالفعل. أعد المحاولة للحفظ باسم جديد؛ سيُحتفظ بالملف الموجود."},
    {TextErrInternal, L"أدى خطأ داخلي في النظام إلى مقاطعة المعالجة. أعد تشغيل التطبيق وحاول مرة أخرى."},
    {TextErrVerification, L"لم يجتز الملف الأصلي التحقق: بياناته تالفة. نزّله مرة أخرى."},
    {TextErrOutOfMemory, L"الذاكرة غير كافية. أغلق التطبيقات الأخرى وحاول مرة أخرى."},
    {TextErrPathAccess,
     L"تعذّر الوصول إلى هذا المسار. انقل الملف الأصلي إلى مجلد محلي ذي مسار أقصر وحاول مرة أخرى."},
    {TextErrSourceChanged,
     L"تغيّر الملف الأصلي أثناء التحويل. انتظر حتى يكتمل التنزيل أو النسخ، ثم أعد المحاولة."},
    {TextErrNoUnusedName, L"تعذّر اختيار اسم غير مستخدم لملف NSP. أعد تسمية الملف الأصلي وحاول مرة أخرى."},
    {TextErrStartFailed, L"تعذّر بدء التحويل. أغلق التطبيقات الأخرى وحاول مرة أخرى."},
    {TextUnitMegabytes, L"م.ب"},
    {TextUnitGigabytes, L"غ.ب"},
    {TextConversionErrorTitle, L"خطأ في التحويل"},
    {TextErrFolderNotWritable, L"تتعذّر الكتابة في هذا المجلد. اختر مجلدًا آخر لملف NSP."},
    {TextChooseFolderTitle, L"اختر مجلدًا لملف NSP"},
    {TextChooseFolder, L"اختر مجلدًا"},
    {TextNoFolderSelected, L"لم يُحدَّد أي مجلد. توقّف التحويل."},
    {TextSavedTo, L"تم الحفظ في"},
    {TextErrDiskFull, L"القرص ممتلئ. حرّر مساحة أو اختر قرصًا آخر."},
    {TextErrFileTooLarge, L"لا يمكن لهذا القرص تخزين ملف بهذا الحجم. اختر قرصًا مهيّأً بنظام NTFS أو exFAT."},
    {TextErrFileInUse, L"يستخدم تطبيق آخر هذا الملف. أغلق ذلك التطبيق وحاول مرة أخرى."},
    {TextErrSourceMissing, L"نُقل الملف الأصلي أو حُذف. اختر الملف مرة أخرى."},
    {TextErrAccessDenied, L"تتعذّر قراءة هذا الملف. اختر ملفًا يمكنك الوصول إليه أو تحقّق من أذوناته."},
    {TextErrDriveUnavailable, L"القرص غير متاح. أعد توصيله وحاول مرة أخرى."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker, L"تعذّر فتح نافذة اختيار المجلد. أعد تشغيل التطبيق وحاول مرة أخرى."},
    {TextErrFilePicker, L"تعذّر فتح نافذة اختيار الملفات. أعد تشغيل التطبيق وحاول مرة أخرى."},
    {TextErrNotNsz, L"الملف المحدد ليس ملف NSZ. اختر ملفًا بتنسيق NSZ."},
    {TextFinishingSave, L"جارٍ إنهاء الحفظ…"},
    {TextOpenFolder, L"افتح المجلد"},
    {TextErrOpenFolder, L"تعذّر فتح المجلد. افتح مكان الحفظ في مستكشف الملفات."},
    {TextRequired, L"المطلوب"},
    {TextAvailable, L"المتاح"},
    {TextErrRecoveryRecords,
     L"تعذّر إنشاء سجلات الاسترداد. تحقّق من المساحة الحرة ومن الوصول إلى مجلد المستخدم."},
    {TextDeleteSources, L"حذف الملفات الأصلية بعد نجاح التحويل (دون سلة المحذوفات)"},
    {TextSelectedFiles, L"الملفات المحددة"},
    {TextFile, L"الملف"},
    {TextSaved, L"المحفوظة"},
    {TextFailed, L"تعذّر تحويلها"},
    {TextNotProcessed, L"لم تُعالَج"},
    {TextSourceNotDeleted, L"حُفظ ملف NSP، لكن تعذّر حذف الملف الأصلي. تم الاحتفاظ بالملف الأصلي."},
    {TextSourceDeleted, L"تم حذف الملف الأصلي."},
    {TextResultsTitle, L"نتائج التحويل"},
    {TextClose, L"إغلاق"},
    {TextSourcesKept, L"ملفات أصلية لم تُحذف"},
    {TextSourceInUseKept, L"تم إنشاء ملف NSP. يستخدم تطبيق آخر الملف الأصلي، لذا تم الاحتفاظ به. أغلق ذلك "
                          L"التطبيق واحذف الملف الأصلي يدويًا."},
    {TextWarnSourceNotDeleted, L"تم إنشاء NSP، ولم يُحذف الملف الأصلي"},
    {TextWarnCompleted, L"اكتمل التحويل مع تحذيرات"},
    {TextNoNszAmongItems, L"لا توجد ملفات NSZ بين هذه العناصر. لم يتغير الاختيار."},
};

} // namespace

const TextTable& ArabicTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
