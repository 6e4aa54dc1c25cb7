#include "Platform/Driver/Framing.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

#include "Platform/Driver/DeviceInternal.h"

namespace Tavo::Platform::Driver::Framing {

using Internal::Get32;
using Internal::Get64;
using Internal::Put32;
using Internal::Put64;

namespace {

void Append32(std::vector<uint8_t>& out, uint32_t v)
{
    size_t at = out.size();
    out.resize(at + 4);
    Put32(out.data() + at, v);
}

void Append64(std::vector<uint8_t>& out, uint64_t v)
{
    size_t at = out.size();
    out.resize(at + 8);
    Put64(out.data() + at, v);
}

void AppendBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads consecutive fields, refusing to run past the end.
class Reader
{
public:
    Reader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

    bool U32(uint32_t& v)
    {
        return Take(4, [&](const uint8_t* p) { v = Get32(p); });
    }
    bool U64(uint64_t& v)
    {
        return Take(8, [&](const uint8_t* p) { v = Get64(p); });
    }
    bool Bytes(size_t n, std::vector<uint8_t>& v)
    {
        return Take(n, [&](const uint8_t* p) { v.assign(p, p + n); });
    }
    bool Raw(size_t n, void* v)
    {
        return Take(n, [&](const uint8_t* p) { std::memcpy(v, p, n); });
    }
    bool AtEnd() const { return mAt == mSize; }

private:
    template <typename F>
    bool Take(size_t n, F&& f)
    {
        if (mSize - mAt < n)
            return false;
        f(mData + mAt);
        mAt += n;
        return true;
    }

    const uint8_t* mData;
    size_t mSize;
    size_t mAt = 0;
};

}  // namespace

std::vector<uint8_t> Simple(Type type)
{
    std::vector<uint8_t> out;
    Append32(out, type);
    return out;
}

std::vector<uint8_t> Taken(uint64_t token)
{
    std::vector<uint8_t> out;
    Append32(out, kTaken);
    Append64(out, token);
    return out;
}

std::vector<uint8_t> EncodeRequest(uint32_t sequence, const Request& request)
{
    std::vector<uint8_t> out;
    Append32(out, kRequest);
    Append32(out, sequence);
    const auto* header = reinterpret_cast<const uint8_t*>(&request.header);
    out.insert(out.end(), header, header + sizeof(PropertyHeader));
    Append64(out, request.sendToken);
    Append32(out, static_cast<uint32_t>(request.input.size()));
    Append32(out, static_cast<uint32_t>(request.value.size()));
    Append32(out, static_cast<uint32_t>(request.message.size()));
    AppendBytes(out, request.input);
    AppendBytes(out, request.value);
    AppendBytes(out, request.message);
    return out;
}

std::vector<uint8_t> EncodeReply(uint32_t sequence, const Reply& reply)
{
    std::vector<uint8_t> out;
    Append32(out, kReply);
    Append32(out, sequence);
    Append32(out, reply.error);
    Append32(out, static_cast<uint32_t>(reply.output.size()));
    Append32(out, static_cast<uint32_t>(reply.readData.size()));
    AppendBytes(out, reply.output);
    AppendBytes(out, reply.readData);
    return out;
}

uint32_t TypeOf(const uint8_t* data, size_t size)
{
    return size < 4 ? 0 : Get32(data);
}

bool DecodeRequest(const uint8_t* data, size_t size, uint32_t& sequence, Request& request)
{
    Reader r(data, size);
    uint32_t type = 0, inputSize = 0, valueSize = 0, messageSize = 0;
    return r.U32(type) && type == kRequest && r.U32(sequence) &&
           r.Raw(sizeof(PropertyHeader), &request.header) && r.U64(request.sendToken) && r.U32(inputSize) &&
           r.U32(valueSize) && r.U32(messageSize) && inputSize <= kMaxInput && valueSize <= kMaxValue &&
           messageSize <= kMaxMessage && r.Bytes(inputSize, request.input) &&
           r.Bytes(valueSize, request.value) && r.Bytes(messageSize, request.message) && r.AtEnd();
}

bool DecodeReply(const uint8_t* data, size_t size, uint32_t& sequence, Reply& reply)
{
    Reader r(data, size);
    uint32_t type = 0, outputSize = 0, readSize = 0;
    return r.U32(type) && type == kReply && r.U32(sequence) && r.U32(reply.error) && r.U32(outputSize) &&
           r.U32(readSize) && outputSize <= kMaxValue && readSize <= kMaxRead &&
           r.Bytes(outputSize, reply.output) && r.Bytes(readSize, reply.readData) && r.AtEnd();
}

bool DecodeTaken(const uint8_t* data, size_t size, uint64_t& token)
{
    Reader r(data, size);
    uint32_t type = 0;
    return r.U32(type) && type == kTaken && r.U64(token) && r.AtEnd();
}

bool SendFrame(int fd, const std::vector<uint8_t>& frame)
{
    for (;;) {
        ssize_t n = send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(frame.size()))
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

}  // namespace Tavo::Platform::Driver::Framing
