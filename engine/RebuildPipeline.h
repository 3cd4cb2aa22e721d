// The rebuild on three threads. The converting thread reads the input and writes the output, so that the
// window's CancelSynchronousIo on it still ends a blocked read or write; a decoder thread decompresses and
// re-encrypts; a hasher thread hashes what is written. Pieces travel through two bounded rings of fixed
// 1 MiB buffers, and a failure travels as a piece in the place where it happened: the first failure in
// stream order wins, whichever thread met it first.
#pragma once

#include "engine/Container.h"
#include "engine/ConversionError.h"
#include "engine/Crypto.h"
#include "engine/NczLayout.h"
#include "engine/SectionEncryptor.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vesko {

class OutputWriter;

using PieceBuffer = std::unique_ptr<std::uint8_t[]>;

// What the reader hands the decoder, in the order it reads.
enum class InputKind : std::uint8_t {
    MemberStart,
    Copy,       // bytes written unchanged
    BodyStart,  // an NCZ body follows; its layout travels with this piece
    Stored,     // body bytes stored as they are: re-encrypted, not decoded
    FrameStart, // one Zstandard frame of `frameLength` bytes that decodes to `frameExpected`
    FrameData,  // compressed bytes of the current frame
    MemberEnd,
    Failure,
    End,
};

struct InputPiece {
    InputKind kind = InputKind::End;
    PieceBuffer buffer;
    std::uint32_t size = 0;
    const PlannedMember* member = nullptr;
    std::shared_ptr<const NczLayout> layout;
    std::uint64_t frameLength = 0;
    std::uint64_t frameExpected = 0;
    std::exception_ptr failure;
};

// What the decoder hands the writer and the hasher, in output order.
enum class OutputKind : std::uint8_t { MemberStart, Bytes, MemberEnd, End };

struct OutputPiece {
    OutputKind kind = OutputKind::End;
    PieceBuffer buffer;
    std::vector<std::uint32_t> writes; // consecutive writes from the start of the buffer
    const PlannedMember* member = nullptr;
    std::exception_ptr failure; // ends the stream after the writes
};

class InputFile;

class RebuildPipeline {
  public:
    using Stage = std::function<void(RebuildPipeline&)>;

    // Starts the decoder (running `decode`) and the hasher; both are joined on every way out.
    RebuildPipeline(OutputWriter& writer, const CryptoProviders& providers, const CancelFlag* cancelFlag,
                    Stage decode);
    ~RebuildPipeline();
    RebuildPipeline(const RebuildPipeline&) = delete;
    RebuildPipeline& operator=(const RebuildPipeline&) = delete;

    // Runs `read` on this thread, writing finished output whenever it waits for room, then writes the
    // rest. Throws the first failure in stream order, once every piece before it is written and hashed.
    void run(const Stage& read);

    // The reader's side (the converting thread).
    void putMarker(InputKind kind, const PlannedMember* member);
    void putBodyStart(std::shared_ptr<const NczLayout> layout);
    void putFrameStart(std::uint64_t length, std::uint64_t expected);
    // A buffer of kPieceSize bytes to read into, then handed over as `size` bytes of `kind`.
    std::uint8_t* inputBuffer();
    void putData(InputKind kind, std::uint32_t size);

    // The decoder's side. The next input piece, waiting for it; the one taken before is given back.
    InputPiece& takeInput();
    // The buffer of the output piece being filled (kPieceSize bytes).
    std::uint8_t* outputBuffer();
    // Moves the buffer of the input piece just taken into the output piece being filled.
    std::uint8_t* passOn();
    // Where the bytes of the output piece being filled are recorded as writes, chunk by chunk.
    ChunkSink& decodedChunks() { return chunks_; }
    void putOutput(OutputKind kind, const PlannedMember* member = nullptr);

  private:
    struct Stopped {};
    struct Decided {};

    class DecodedChunks : public ChunkSink {
      public:
        explicit DecodedChunks(RebuildPipeline& pipeline) : pipeline_(pipeline) {}
        void write(std::uint8_t* data, std::size_t length) override;

      private:
        RebuildPipeline& pipeline_;
    };

    InputPiece& freeInput();
    void publishInput();
    OutputPiece& heldOutput();
    bool serve(bool wantInput);
    void settle(std::uint64_t at, const std::exception_ptr& writeFailure, const OutputPiece& piece,
                std::unique_lock<std::mutex>& lock);
    void decodeStage();
    void hashStage();

    OutputWriter& writer_;
    const CryptoProviders& providers_;
    const CancelFlag* cancelFlag_;
    Stage decode_;
    DecodedChunks chunks_{*this};

    std::mutex mutex_;
    std::condition_variable readerWake_;
    std::condition_variable decoderWake_;
    std::condition_variable hasherWake_;
    std::vector<InputPiece> inputs_;
    std::vector<OutputPiece> outputs_;
    std::uint64_t inputsPut_ = 0;
    std::uint64_t inputsTaken_ = 0;
    std::uint64_t outputsPut_ = 0;
    std::uint64_t outputsWritten_ = 0;
    std::uint64_t outputsHashed_ = 0;
    std::exception_ptr hashFailure_;
    std::uint64_t hashFailedAt_ = 0;
    bool stopping_ = false;

    // Only the decoder touches these.
    bool holdingInput_ = false;
    bool holdingOutput_ = false;

    // Only the converting thread touches these.
    std::exception_ptr decision_;
    bool finished_ = false;

    // Tells the stages to stop, then joins them; declared last so that it goes first.
    class StageThreads {
      public:
        explicit StageThreads(RebuildPipeline& pipeline);
        ~StageThreads();
        StageThreads(const StageThreads&) = delete;
        StageThreads& operator=(const StageThreads&) = delete;
        void start(void (RebuildPipeline::*body)());

      private:
        RebuildPipeline& pipeline_;
        std::vector<std::thread> threads_;
    };
    StageThreads threads_{*this};
};

// Reads [offset, offset + length) of the input in pieces of at most 1 MiB, each handed over as `kind`.
void ReadRange(const InputFile& input, std::uint64_t offset, std::uint64_t length, InputKind kind,
               RebuildPipeline& pipeline, const CancelFlag* cancelFlag);

} // namespace vesko
