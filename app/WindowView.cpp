#include "app/WindowView.h"

#include "app/OutputPath.h"
#include "ui/FailureMessage.h"

#include <algorithm>
#include <string>

namespace vesko {

VisibleState VisibleStateOf(const MainWindowState& state, bool cancelRequested) {
    if (state.closeRequested) {
        return VisibleState::Closing;
    }
    if (state.isConverting) {
        return cancelRequested ? VisibleState::Cancelling : VisibleState::Converting;
    }
    if (state.batchActive) {
        return VisibleState::BetweenFiles;
    }
    if (state.showDone) {
        return VisibleState::Done;
    }
    return state.selectedFiles.empty() ? VisibleState::Empty : VisibleState::Ready;
}

ControlLook ControlLookFor(VisibleState visible) {
    switch (visible) {
    case VisibleState::Empty:
        return ControlLook{true, true, false, TextKey::TextConvertToNsp};
    case VisibleState::Ready:
        return ControlLook{true, true, true, TextKey::TextConvertToNsp};
    case VisibleState::Converting:
    case VisibleState::BetweenFiles:
        return ControlLook{false, false, true, TextKey::TextCancel};
    case VisibleState::Cancelling:
        return ControlLook{false, false, false, TextKey::TextCancel};
    case VisibleState::Done:
        return ControlLook{true, true, true, TextKey::TextOpenFolder};
    case VisibleState::Closing:
        return ControlLook{false, false, false, TextKey::TextCancel};
    }
    return {};
}

ActionCommand ActionFor(const MainWindowState& state) {
    if (state.isConverting) {
        return ActionCommand::RequestCancel;
    }
    if (state.batchActive) {
        return ActionCommand::Nothing;
    }
    if (state.showDone) {
        return ActionCommand::OpenOutputFolder;
    }
    if (state.selectedFiles.empty()) {
        return ActionCommand::ChooseNszFiles;
    }
    return ActionCommand::StartBatch;
}

CloseCommand CloseFor(const MainWindowState& state) {
    if (state.isConverting) {
        return CloseCommand::CancelThenDestroy;
    }
    // The batch would go on from inside the question and start a worker for a window that is gone.
    if (state.batchActive) {
        return CloseCommand::DestroyAfterQuestion;
    }
    return CloseCommand::DestroyNow;
}

StatusLine StatusLineFor(const MainWindowState& state, const ProgressSnapshot& progress) {
    StatusLine line;
    if (state.isConverting && !progress.cancelRequested && progress.total != 0) {
        if (progress.phase == 1) {
            line.text = Text(TextKey::TextFinishingSave);
        } else {
            line.text = std::wstring(Text(TextKey::TextConverting)) + L"  " +
                        IsolateLeftToRight(FormatSize(progress.written, SizeRounding::Nearest) + L" / " +
                                           FormatSize(progress.total, SizeRounding::Nearest));
        }
    } else {
        line.text = state.statusText;
    }
    if (state.showError) {
        line.colour = StatusColour::Error;
    } else if (state.showWarning) {
        line.colour = StatusColour::Warning;
    } else if (state.showDone) {
        line.colour = StatusColour::Done;
    }
    return line;
}

ProgressBarLook ProgressBarFor(const MainWindowState& state, const ProgressSnapshot& progress) {
    // The bar never reads 100 % while the file is still being finished.
    constexpr double kWhileConverting = 0.99;
    if (state.showDone) {
        return ProgressBarLook{state.isConverting ? kWhileConverting : 1.0, true};
    }
    if (progress.total == 0) {
        return {};
    }
    double fraction = static_cast<double>(progress.written) / static_cast<double>(progress.total);
    fraction = std::min(fraction, 1.0);
    if (state.isConverting) {
        fraction = std::min(fraction, kWhileConverting);
    }
    return ProgressBarLook{fraction > 0.0 ? fraction : 0.0, false};
}

CardTexts CardFor(const MainWindowState& state) {
    CardTexts card;
    if (state.currentSource.empty()) {
        card.title = Text(TextKey::TextChooseNszFiles);
        return card;
    }
    card.hasSource = true;
    const std::size_t selected = state.selectedFiles.size();
    if (selected < 2 || state.batchActive) {
        card.title = FileNameOf(state.currentSource);
    } else {
        card.title = std::wstring(Text(TextKey::TextSelectedFiles)) + L": " + std::to_wstring(selected);
    }
    if (state.batchActive) {
        card.subtitle = std::wstring(Text(TextKey::TextFile)) + L" " +
                        std::to_wstring(state.batch.index + 1) + L" / " +
                        std::to_wstring(state.batch.files.size());
    } else if (selected == 1) {
        card.subtitle = L"NSZ  \u00B7  " + FormatSize(state.currentFileSize, SizeRounding::Nearest);
    } else {
        card.subtitle = kFormatLabel;
    }
    return card;
}

} // namespace vesko
