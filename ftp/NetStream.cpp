#include "NetStream.h"

#include <algorithm>
#include <vector>

namespace net {

void TNetStream::TakeFrom(TNetReceiveSource& source) {
    // One write per piece would cost a system call each and buy nothing: the file is only looked at when
    // the transfer ends.
    const std::size_t pieceSize = source.PieceSize();
    std::vector<char> batch(std::max(kCopyBatch, pieceSize));
    std::size_t filled = 0;
    try {
        for (std::size_t piece = source.NextPiece(); piece > 0; piece = source.NextPiece()) {
            if (batch.size() - filled < pieceSize) {
                Write(batch.data(), filled);
                filled = 0;
            }
            filled += source.Receive(batch.data() + filled, piece);
        }
    } catch (...) {
        Write(batch.data(), filled); // what was received stays
        throw;
    }
    Write(batch.data(), filled);
}

} // namespace net
