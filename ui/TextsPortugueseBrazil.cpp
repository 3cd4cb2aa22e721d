// Interface texts: Portuguese (Brazil), also for every other Portuguese locale.
#include "ui/TextTables.h"

namespace vesko {
namespace {

constexpr const wchar_t* kOpenSiteParts[] = {L"Abrir ", kMakerSiteName};
constexpr auto kOpenSite = ComposeText<ComposedLength(kOpenSiteParts)>(kOpenSiteParts);
constexpr const wchar_t* kBrowserFailedParts[] = {L"Não foi possível abrir o navegador. Abra ",
                                                  kMakerSiteName, L" manualmente no seu navegador."};
constexpr auto kBrowserFailed = ComposeText<ComposedLength(kBrowserFailedParts)>(kBrowserFailedParts);

using enum TextKey;

constexpr KeyedText kEntries[kTextCount] = {
    {TextPromoFirstInWorld, L"Os primeiros do mundo."},
    {TextPromoNoAds, L"Sem anúncios."},
    {TextPromoBeforeOthers, L"Antes de qualquer outra fonte."},
    {TextPromoDownloadGames, L"Baixe jogos"},
    {TextPromoPlatforms, L"Para Nintendo Switch, PC e qualquer outra plataforma de jogos."},
    {TextPromoOpenSite, kOpenSite.data()},
    {TextNszFiles, L"Arquivos NSZ"},
    {TextChooseNsz, L"Escolher NSZ"},
    {TextChooseNszFiles, L"Escolha arquivos NSZ"},
    {TextNszFilter, L"Arquivos NSZ (*.nsz)"},
    {TextConvertToNsp, L"Converter para NSP"},
    {TextCancel, L"Cancelar"},
    {TextChooseAnotherFile, L"Escolher outro arquivo"},
    {TextSavedAlongside, L"Os arquivos NSP serão salvos ao lado dos arquivos de origem."},
    {TextPreparingFile, L"Preparando o arquivo…"},
    {TextCancelling, L"Cancelando…"},
    {TextConversionCancelled, L"Conversão cancelada."},
    {TextConverting, L"Convertendo…"},
    {TextDone, L"Pronto"},
    {TextErrUnexpected,
     L"Um erro inesperado interrompeu a conversão. Reinicie o aplicativo e tente novamente."},
    {TextErrRead, L"Não foi possível ler o arquivo. Copie-o para uma pasta local e tente novamente."},
    {TextErrSave, L"Não foi possível salvar o NSP. Verifique o disco e tente novamente."},
    {TextErrDamaged, L"O arquivo NSZ está danificado ou não foi baixado por completo. Baixe-o novamente."},
    {TextErrUnsupported,
     L"Esta variante de NSZ ainda não é suportada. Atualize o conversor ou baixe o arquivo no formato NSP."},
    {TextErrNameInUse, L"Este nome já está em uso. Tente novamente para salvar com um novo nome; o arquivo "
                       L"existente será mantido."},
    {TextErrInternal,
     L"Um erro interno do sistema interrompeu o processamento. Reinicie o aplicativo e tente novamente."},
    {TextErrVerification,
     L"O arquivo de origem não passou na verificação: seus dados estão danificados. Baixe-o novamente."},
    {TextErrOutOfMemory, L"Memória insuficiente. Feche outros aplicativos e tente novamente."},
    {TextErrPathAccess, L"Não foi possível acessar este caminho. Mova o arquivo de origem para uma pasta "
                        L"local com um caminho mais curto e tente novamente."},
    {TextErrSourceChanged, L"O arquivo de origem mudou durante a conversão. Aguarde o download ou a cópia "
                           L"terminar e tente novamente."},
    {TextErrNoUnusedName,
     L"Não foi possível escolher um nome livre para o NSP. Renomeie o arquivo de origem e tente novamente."},
    {TextErrStartFailed,
     L"Não foi possível iniciar a conversão. Feche outros aplicativos e tente novamente."},
    {TextUnitMegabytes, L"MB"},
    {TextUnitGigabytes, L"GB"},
    {TextConversionErrorTitle, L"Erro de conversão"},
    {TextErrFolderNotWritable, L"Não é possível gravar nesta pasta. Escolha outra pasta para o NSP."},
    {TextChooseFolderTitle, L"Escolha uma pasta para o NSP"},
    {TextChooseFolder, L"Escolher pasta"},
    {TextNoFolderSelected, L"Nenhuma pasta selecionada. Conversão interrompida."},
    {TextSavedTo, L"Salvo em"},
    {TextErrDiskFull, L"O disco está cheio. Libere espaço ou escolha outro disco."},
    {TextErrFileTooLarge,
     L"Esta unidade não comporta um arquivo tão grande. Escolha uma unidade formatada em NTFS ou exFAT."},
    {TextErrFileInUse, L"Outro aplicativo está usando o arquivo. Feche esse aplicativo e tente novamente."},
    {TextErrSourceMissing, L"O arquivo de origem foi movido ou excluído. Escolha o arquivo novamente."},
    {TextErrAccessDenied, L"Não é possível ler este arquivo. Escolha um arquivo que você possa acessar ou "
                          L"verifique as permissões dele."},
    {TextErrDriveUnavailable, L"A unidade não está disponível. Reconecte-a e tente novamente."},
    {TextErrBrowser, kBrowserFailed.data()},
    {TextErrFolderPicker,
     L"Não foi possível abrir o seletor de pastas. Reinicie o aplicativo e tente novamente."},
    {TextErrFilePicker,
     L"Não foi possível abrir o seletor de arquivos. Reinicie o aplicativo e tente novamente."},
    {TextErrNotNsz, L"O arquivo selecionado não é um arquivo NSZ. Escolha um arquivo no formato NSZ."},
    {TextFinishingSave, L"Concluindo o salvamento…"},
    {TextOpenFolder, L"Abrir pasta"},
    {TextErrOpenFolder,
     L"Não foi possível abrir a pasta. Abra o local de salvamento no Explorador de Arquivos."},
    {TextRequired, L"Necessário"},
    {TextAvailable, L"Disponível"},
    {TextErrRecoveryRecords, L"Não foi possível criar os registros de recuperação. Verifique o espaço livre "
                             L"e o acesso à sua pasta de usuário."},
    {TextDeleteSources, L"Excluir originais após converter com sucesso (sem Lixeira)"},
    {TextSelectedFiles, L"Arquivos selecionados"},
    {TextFile, L"Arquivo"},
    {TextSaved, L"Salvos"},
    {TextFailed, L"Com falha"},
    {TextNotProcessed, L"Não processados"},
    {TextSourceNotDeleted,
     L"O NSP foi salvo, mas não foi possível excluir o arquivo de origem. O arquivo de origem foi mantido."},
    {TextSourceDeleted, L"Arquivo de origem excluído."},
    {TextResultsTitle, L"Resultados da conversão"},
    {TextClose, L"Fechar"},
    {TextSourcesKept, L"Originais mantidos"},
    {TextSourceInUseKept, L"NSP criado. Outro aplicativo está usando o arquivo de origem, por isso ele foi "
                          L"mantido. Feche esse aplicativo e exclua o arquivo de origem manualmente."},
    {TextWarnSourceNotDeleted, L"NSP criado, original não excluído"},
    {TextWarnCompleted, L"Conversão concluída com avisos"},
    {TextNoNszAmongItems, L"Não há arquivos NSZ entre estes itens. A seleção não foi alterada."},
};

} // namespace

const TextTable& PortugueseBrazilTexts() {
    static constexpr TextTable table = MakeTextTable(kEntries);
    return table;
}

} // namespace vesko
