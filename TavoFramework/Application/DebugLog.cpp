#include "Application/DebugLog.h"

#include "Application/CommandLineArguments.h"

#include "Utilities/Storage/StringT.h"

#include <cctype>
#include <cstdlib>
#include <type_traits>

namespace Tavo {

namespace {

std::string ToUtf8(const std::basic_string<char>& text)
{
    return text;
}

std::string ToUtf8(const std::u16string& text)
{
    return NString(WString(text.c_str())).c_str();
}

}  // namespace

template <class C>
std::streamsize basic_debugbuf<C>::xsputn(const C* text, std::streamsize count)
{
    if (mConsole) {
        mText.append(text, size_t(count));
        size_t whole = mText.size();
        if constexpr (std::is_same_v<C, char16_t>) {
            if (whole > 0 && mText[whole - 1] >= 0xD800 && mText[whole - 1] <= 0xDBFF)
                --whole;
        }
        Emit(whole);
        return count;
    }
    std::streamsize done = 0;
    while (done < count) {
        if (mText.size() >= kCapacity)
            Emit(mText.size());
        const size_t room = kCapacity - mText.size();
        const size_t take = std::min<size_t>(room, size_t(count - done));
        mText.append(text + done, take);
        done += std::streamsize(take);
    }
    return done;
}

template <class C>
typename basic_debugbuf<C>::int_type basic_debugbuf<C>::overflow(int_type ch)
{
    if (traits_type::eq_int_type(ch, traits_type::eof()))
        return traits_type::not_eof(ch);
    const C c = traits_type::to_char_type(ch);
    xsputn(&c, 1);
    return ch;
}

template <class C>
void basic_debugbuf<C>::Emit(size_t count)
{
    // An empty flush still makes the socket and announces the program.
    const std::string text = ToUtf8(mText.substr(0, count));
    mText.erase(0, count);
    mLog.Emit(text, mConsole);
}

template class basic_debugbuf<char>;
template class basic_debugbuf<char16_t>;

struct DebugLog::Streams
{
    explicit Streams(DebugLog& log)
        : narrowDebug(log, false), narrowConsole(log, true), wideDebug(log, false), wideConsole(log, true)
    {
    }
    basic_dostream<char> narrowDebug;
    basic_dostream<char> narrowConsole;
    basic_dostream<char16_t> wideDebug;
    basic_dostream<char16_t> wideConsole;
};

DebugLog::DebugLog() = default;

DebugLog::~DebugLog() = default;

DebugLog::Streams& DebugLog::MadeStreams()
{
    std::call_once(mStreamsMade, [this] {
        mStreams = std::make_unique<Streams>(*this);
        mStreamsReady = true;
    });
    return *mStreams;
}

void DebugLog::EmitPending()
{
    if (!mStreamsReady)
        return;
    mStreams->narrowDebug.EmitPending();
    mStreams->wideDebug.EmitPending();
    mStreams->narrowConsole.EmitPending();
    mStreams->wideConsole.EmitPending();
}

std::ostream& DebugLog::Narrow()
{
    Streams& streams = MadeStreams();
    return mConsoleOpen ? streams.narrowConsole : streams.narrowDebug;
}

std::basic_ostream<char16_t>& DebugLog::Wide()
{
    Streams& streams = MadeStreams();
    return mConsoleOpen ? streams.wideConsole : streams.wideDebug;
}

DebugLog& DebugLog::Get()
{
    static DebugLog* log = [] {
        auto* made = new DebugLog();
        std::atexit([] { Get().EmitPending(); });
        return made;
    }();
    return *log;
}

void DebugLog::SetUdpTarget(const char* host, int32_t port)
{
    if (host)
        mHost = host;
    mPort = port;
}

void DebugLog::OpenConsole()
{
    // stderr is the console here.
    mConsoleOpen = true;
}

void DebugLog::SendDatagram(const char* host, int32_t port, std::string_view text)
{
    mUdp.Send(host, port, text);
}

void DebugLog::Emit(std::string_view text, bool console)
{
    if (mPort > 0 && !console)
        SendDatagram(mHost.empty() ? nullptr : mHost.c_str(), mPort, text);
    else if (text.empty())
        return;
    else if (console)
        Platform::App::WriteConsole(text);
    else
        Platform::App::WriteDebugger(text);
}

DebugConsoleSwitch ParseDebugConsoleSwitch(std::string_view command)
{
    // Each argument alone (the first is the program): a value of another
    // switch, a path say, never turns the log on.
    static constexpr std::string_view kSwitch = "-DEBUG_CONSOLE";
    static constexpr std::string_view kWithValue = "-DEBUG_CONSOLE:";
    DebugConsoleSwitch result;
    const std::vector<std::string> arguments = SplitCommandLine(command);
    std::string_view withValue;
    bool plain = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view argument = WithoutEnclosingQuotes<char>(arguments[i]);
        if (argument.rfind(kWithValue, 0) == 0) {
            withValue = argument;
            break;
        }
        plain = plain || argument.rfind(kSwitch, 0) == 0;
    }
    if (withValue.empty()) {
        if (plain)
            result.kind = DebugConsoleSwitch::Kind::Console;
        return result;
    }
    const size_t s = kWithValue.size();
    const size_t end = withValue.size();
    size_t colon = withValue.find(':', s);
    if (colon == std::string_view::npos)
        colon = end;
    // A port part of fewer than two characters sets nothing up.
    if (colon <= s + 1)
        return result;
    result.kind = DebugConsoleSwitch::Kind::Udp;
    result.port = std::atoi(std::string(withValue.substr(s, colon - s)).c_str());
    if (colon + 1 < end)
        result.host = std::string(withValue.substr(colon + 1, end - colon - 1));
    return result;
}

DebugConsoleSwitch ApplyDebugConsoleSwitch(DebugLog& log, std::string_view commandLine)
{
    std::string upper(commandLine);
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const DebugConsoleSwitch found = ParseDebugConsoleSwitch(upper);
    if (found.kind == DebugConsoleSwitch::Kind::Console)
        log.OpenConsole();
    else if (found.kind == DebugConsoleSwitch::Kind::Udp)
        log.SetUdpTarget(found.host.empty() ? nullptr : found.host.c_str(), found.port);
    if (found.kind != DebugConsoleSwitch::Kind::None)
        log.Narrow() << "Command line: " << commandLine << std::endl;
    return found;
}

}  // namespace Tavo
