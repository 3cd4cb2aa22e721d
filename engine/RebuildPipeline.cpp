#include "engine/RebuildPipeline.h"

#include "engine/InputFile.h"
#include "engine/Limits.h"
#include "engine/OutputWriter.h"

#include <algorithm>
#include <optional>

namespace vesko {

namespace {

// Enough to keep both helper threads busy while the converting thread reads or writes; the total stays
// a few MiB whatever the file size.
constexpr std::size_t kInputPieces = 4;
constexpr std::size_t kOutputPieces = 6;

// Left uninitialised and allocated on first use: a small conversion touches only the pieces it needs.
void EnsureBuffer(PieceBuffer& buffer) {
    if (!buffer)
        buffer.reset(new std::uint8_t[kPieceSize]);
}

} // namespace

RebuildPipeline::RebuildPipeline(OutputWriter& writer, const CryptoProviders& providers,
                                 const CancelFlag* cancelFlag, Stage decode)
    : writer_(writer), providers_(providers), cancelFlag_(cancelFlag), decode_(std::move(decode)),
      inputs_(kInputPieces), outputs_(kOutputPieces) {
    threads_.start(&RebuildPipeline::decodeStage);
    threads_.start(&RebuildPipeline::hashStage);
}

RebuildPipeline::~RebuildPipeline() = default;

RebuildPipeline::StageThreads::StageThreads(RebuildPipeline& pipeline) : pipeline_(pipeline) {
    threads_.reserve(2);
}

RebuildPipeline::StageThreads::~StageThreads() {
    {
        const std::lock_guard<std::mutex> lock(pipeline_.mutex_);
        pipeline_.stopping_ = true;
    }
    pipeline_.decoderWake_.notify_all();
    pipeline_.hasherWake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void RebuildPipeline::StageThreads::start(void (RebuildPipeline::*body)()) {
    threads_.emplace_back(body, &pipeline_);
}

// ---- the converting thread: reading, writing, and the decision ----

void RebuildPipeline::run(const Stage& read) {
    std::exception_ptr readFailure;
    try {
        read(*this);
    } catch (const Decided&) {
    } catch (...) {
        // Raised while reading: it takes its place in the stream after everything read before it.
        readFailure = std::current_exception();
    }
    if (!decision_ && !finished_ && serve(true)) {
        InputPiece& last = inputs_[inputsPut_ % inputs_.size()];
        last.kind = readFailure ? InputKind::Failure : InputKind::End;
        last.failure = readFailure;
        publishInput();
    }
    serve(false);
    if (decision_)
        std::rethrow_exception(decision_);
}

// Writes finished output until an input piece is free (when `wantInput`), waiting when neither is
// possible. False once the stream has ended, in success or with `decision_`.
bool RebuildPipeline::serve(bool wantInput) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (decision_ || finished_)
            return false;
        const std::uint64_t at = outputsWritten_;
        if (hashFailure_ && hashFailedAt_ < at) {
            decision_ = hashFailure_;
            return false;
        }
        if (at < outputsPut_) {
            const OutputPiece& piece = outputs_[at % outputs_.size()];
            lock.unlock();
            std::exception_ptr writeFailure;
            try {
                std::size_t offset = 0;
                for (const std::uint32_t length : piece.writes) {
                    writer_.write(piece.buffer.get() + offset, length);
                    offset += length;
                }
            } catch (...) {
                writeFailure = std::current_exception();
            }
            lock.lock();
            if (writeFailure || piece.failure || piece.kind == OutputKind::End) {
                settle(at, writeFailure, piece, lock);
                return false;
            }
            // As in one pass, nothing of the next member is written before this one is verified.
            if (piece.kind == OutputKind::MemberEnd && piece.member->hasExpectedHash) {
                readerWake_.wait(lock, [&] { return hashFailure_ || outputsHashed_ > at; });
                if (hashFailure_ && hashFailedAt_ <= at) {
                    decision_ = hashFailure_;
                    return false;
                }
            }
            ++outputsWritten_;
            decoderWake_.notify_one();
            continue;
        }
        if (wantInput && inputsPut_ - inputsTaken_ < inputs_.size())
            return true;
        readerWake_.wait(lock);
    }
}

// The stream ends at piece `at`. The hashing of every piece up to it comes first; within the piece a
// write failure comes before a hash failure, which comes before the failure the piece carries.
void RebuildPipeline::settle(std::uint64_t at, const std::exception_ptr& writeFailure,
                             const OutputPiece& piece, std::unique_lock<std::mutex>& lock) {
    readerWake_.wait(lock, [&] { return hashFailure_ || outputsHashed_ > at; });
    if (hashFailure_ && (hashFailedAt_ < at || (hashFailedAt_ == at && !writeFailure)))
        decision_ = hashFailure_;
    else if (writeFailure)
        decision_ = writeFailure;
    else
        decision_ = piece.failure;
    finished_ = true;
}

InputPiece& RebuildPipeline::freeInput() {
    if (!serve(true))
        throw Decided{};
    return inputs_[inputsPut_ % inputs_.size()];
}

void RebuildPipeline::publishInput() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++inputsPut_;
    }
    decoderWake_.notify_one();
}

void RebuildPipeline::putMarker(InputKind kind, const PlannedMember* member) {
    InputPiece& piece = freeInput();
    piece.kind = kind;
    piece.member = member;
    publishInput();
}

void RebuildPipeline::putBodyStart(std::shared_ptr<const NczLayout> layout) {
    InputPiece& piece = freeInput();
    piece.kind = InputKind::BodyStart;
    piece.layout = std::move(layout);
    publishInput();
}

void RebuildPipeline::putFrameStart(std::uint64_t length, std::uint64_t expected) {
    InputPiece& piece = freeInput();
    piece.kind = InputKind::FrameStart;
    piece.frameLength = length;
    piece.frameExpected = expected;
    publishInput();
}

std::uint8_t* RebuildPipeline::inputBuffer() {
    InputPiece& piece = freeInput();
    EnsureBuffer(piece.buffer);
    return piece.buffer.get();
}

void RebuildPipeline::putData(InputKind kind, std::uint32_t size) {
    InputPiece& piece = inputs_[inputsPut_ % inputs_.size()];
    piece.kind = kind;
    piece.size = size;
    publishInput();
}

void ReadRange(const InputFile& input, std::uint64_t offset, std::uint64_t length, InputKind kind,
               RebuildPipeline& pipeline, const CancelFlag* cancelFlag) {
    if (!RangeFits(offset, length))
        ThrowConversionError(kMsgOverflow, ConversionError::Kind::Corrupt);
    for (std::uint64_t done = 0; done < length;) {
        throwIfCancelled(cancelFlag);
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(length - done, kPieceSize));
        input.readAt(offset + done, pipeline.inputBuffer(), piece);
        pipeline.putData(kind, piece);
        done += piece;
    }
}

// ---- the decoder thread ----

void RebuildPipeline::decodeStage() {
    const CurrentCancelFlagScope scope(cancelFlag_);
    std::exception_ptr failure;
    try {
        decode_(*this);
        return;
    } catch (const Stopped&) {
        return;
    } catch (...) {
        failure = std::current_exception();
    }
    // The failure follows whatever the piece being filled already holds.
    try {
        heldOutput().failure = failure;
        putOutput(OutputKind::Bytes);
    } catch (const Stopped&) {
    }
}

InputPiece& RebuildPipeline::takeInput() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (holdingInput_) {
        ++inputsTaken_;
        holdingInput_ = false;
        readerWake_.notify_one();
    }
    decoderWake_.wait(lock, [&] { return stopping_ || inputsTaken_ < inputsPut_; });
    if (stopping_)
        throw Stopped{};
    holdingInput_ = true;
    return inputs_[inputsTaken_ % inputs_.size()];
}

OutputPiece& RebuildPipeline::heldOutput() {
    if (!holdingOutput_) {
        std::unique_lock<std::mutex> lock(mutex_);
        decoderWake_.wait(lock, [&] {
            return stopping_ || outputsPut_ - std::min(outputsWritten_, outputsHashed_) < outputs_.size();
        });
        if (stopping_)
            throw Stopped{};
        holdingOutput_ = true;
        OutputPiece& piece = outputs_[outputsPut_ % outputs_.size()];
        piece.writes.clear();
        piece.member = nullptr;
        piece.failure = nullptr;
    }
    return outputs_[outputsPut_ % outputs_.size()];
}

std::uint8_t* RebuildPipeline::outputBuffer() {
    OutputPiece& piece = heldOutput();
    EnsureBuffer(piece.buffer);
    return piece.buffer.get();
}

std::uint8_t* RebuildPipeline::passOn() {
    OutputPiece& piece = heldOutput();
    std::swap(piece.buffer, inputs_[inputsTaken_ % inputs_.size()].buffer);
    return piece.buffer.get();
}

void RebuildPipeline::DecodedChunks::write(std::uint8_t*, std::size_t length) {
    // Chunks arrive in order from the start of the buffer, so their lengths say where each one is.
    pipeline_.heldOutput().writes.push_back(static_cast<std::uint32_t>(length));
}

void RebuildPipeline::putOutput(OutputKind kind, const PlannedMember* member) {
    OutputPiece& piece = heldOutput();
    piece.kind = kind;
    if (member != nullptr)
        piece.member = member;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++outputsPut_;
        holdingOutput_ = false;
    }
    readerWake_.notify_one();
    hasherWake_.notify_one();
}

// ---- the hasher thread ----

namespace {

void HashPiece(const OutputPiece& piece, std::optional<Sha256Hash>& hash, const CryptoProviders& providers) {
    switch (piece.kind) {
    case OutputKind::MemberStart:
        hash.reset();
        if (piece.member->hasExpectedHash)
            hash.emplace(providers);
        break;
    case OutputKind::Bytes:
        if (hash) {
            std::size_t offset = 0;
            for (const std::uint32_t length : piece.writes) {
                hash->update(piece.buffer.get() + offset, length);
                offset += length;
            }
        }
        break;
    case OutputKind::MemberEnd:
        if (hash) {
            hash->finishAndVerify(piece.member->expectedHash, piece.member->outputName);
            hash.reset();
        }
        break;
    case OutputKind::End:
        break;
    }
}

} // namespace

void RebuildPipeline::hashStage() {
    const CurrentCancelFlagScope scope(cancelFlag_);
    std::optional<Sha256Hash> hash;
    for (std::uint64_t at = 0;; ++at) {
        const OutputPiece* piece = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            hasherWake_.wait(lock, [&] { return stopping_ || at < outputsPut_; });
            if (stopping_)
                return;
            piece = &outputs_[at % outputs_.size()];
        }
        // Read before the piece is given back: the decoder may refill it at once.
        const bool last = piece->failure || piece->kind == OutputKind::End;
        std::exception_ptr failure;
        try {
            HashPiece(*piece, hash, providers_);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (failure) {
                hashFailure_ = failure;
                hashFailedAt_ = at;
            } else {
                ++outputsHashed_;
            }
        }
        readerWake_.notify_one();
        decoderWake_.notify_one();
        if (failure || last)
            return;
    }
}

} // namespace vesko
