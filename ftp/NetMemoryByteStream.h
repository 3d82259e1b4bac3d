// A byte stream over memory, for tests and fuzzing: receives hand out the given input, sends are recorded,
// and a wait that the input cannot satisfy moves a manual clock to its deadline instead of taking time.
#pragma once

#include "NetByteStream.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace net {

class TNetMemoryByteStream final : public TNetByteStream {
public:
    // What the peer does once all input is taken: close, or stay silent so that every wait times out.
    enum class AtEnd { Close, Silence };

    // Each receive hands out at most pieceSize bytes, as a network that cuts the input into packets, and each
    // piece comes pieceDelay after the one before (the clock moves on by that much).
    TNetMemoryByteStream(TNetManualClock& clock, std::string input, AtEnd atEnd = AtEnd::Close,
                         std::size_t pieceSize = SIZE_MAX, std::chrono::milliseconds pieceDelay = {})
        : m_clock(clock), m_input(std::move(input)), m_atEnd(atEnd), m_pieceSize(pieceSize), m_pieceDelay(pieceDelay) {}

    bool IsOpen() const override { return m_open; }
    void Close() override { m_open = false; }
    TNetIoResult Receive(char* data, std::size_t count, const TNetDeadline& deadline) override;
    TNetIoResult Send(const char* data, std::size_t count, const TNetDeadline& deadline) override;
    bool InputBuffered() const override { return m_open && m_taken < m_input.size(); }

    // Everything sent so far.
    const std::string& Sent() const { return m_sent; }
    // How much of the input has been received.
    std::size_t Taken() const { return m_taken; }

private:
    TNetManualClock& m_clock;
    std::string m_input;
    AtEnd m_atEnd;
    std::size_t m_pieceSize;
    std::chrono::milliseconds m_pieceDelay;
    std::size_t m_taken = 0;
    std::string m_sent;
    bool m_open = true;
};

} // namespace net
