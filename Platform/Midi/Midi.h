#pragma once

// MIDI ports by device number, opened with a callback, in the shape of the
// multimedia MIDI functions the framework's port classes were designed
// against. The devices come from a backend (MidiBackend.h): MIDI sockets
// under the platform root by default, or an in-process bus in tests.
//
// Threads: data, long-data, error and done callbacks of all ports come in
// order on one layer thread; open and close messages come on the calling
// thread inside the open and close calls (a callback that locks what the
// caller may hold must lock re-entrantly or skip them). The layer never holds its own lock
// while calling back, so a program may open, reset and close ports while
// holding the lock its callbacks take. Once a close returns no further
// callback starts for that handle; one already running may still be
// finishing (it may be waiting for the closing thread's lock): use
// MidiWaitCallbacks before freeing what the instance value refers to.

#include <cstdint>
#include <string>

namespace Tavo::Platform::Midi {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;
inline constexpr MMRESULT MIDIERR_NODEVICE = 68;

inline constexpr uint32_t TIMERR_NOERROR = 0;
inline constexpr uint32_t TIMERR_NOCANDO = 97;

// Callback messages.
inline constexpr uint32_t MIM_OPEN = 0x3C1;
inline constexpr uint32_t MIM_CLOSE = 0x3C2;
inline constexpr uint32_t MIM_DATA = 0x3C3;       // p1: status | d1 << 8 | d2 << 16, p2: time
inline constexpr uint32_t MIM_LONGDATA = 0x3C4;   // p1: MIDIHDR*, p2: time
inline constexpr uint32_t MIM_ERROR = 0x3C5;      // p1: the stray byte, p2: time
inline constexpr uint32_t MIM_LONGERROR = 0x3C6;  // p1: MIDIHDR* of a broken System Exclusive
inline constexpr uint32_t MIM_MOREDATA = 0x3CC;   // never sent; MIM_DATA is used throughout
inline constexpr uint32_t MOM_OPEN = 0x3C7;
inline constexpr uint32_t MOM_CLOSE = 0x3C8;
inline constexpr uint32_t MOM_DONE = 0x3C9;  // p1: MIDIHDR*

// Open flags.
inline constexpr uint32_t CALLBACK_NULL = 0;
inline constexpr uint32_t CALLBACK_FUNCTION = 0x30000;
inline constexpr uint32_t MIDI_IO_STATUS = 0x20;

// MIDIHDR flags.
inline constexpr uint32_t MHDR_DONE = 0x1;
inline constexpr uint32_t MHDR_PREPARED = 0x2;
inline constexpr uint32_t MHDR_INQUEUE = 0x4;

// Longest device name in UTF-16 units; longer names are cut.
inline constexpr size_t MAXPNAMELEN = 32;

struct MidiInPort;
struct MidiOutPort;
// Opaque, pointer-sized, never reused within a process and never equal to a
// device number, so a handle can stand in for a device number in the caps
// queries.
using HMIDIIN = MidiInPort*;
using HMIDIOUT = MidiOutPort*;

struct MIDIHDR
{
    uint8_t* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    uint32_t dwFlags = 0;
};

struct MIDIINCAPS
{
    char16_t szPname[MAXPNAMELEN] = {};
};

struct MIDIOUTCAPS
{
    char16_t szPname[MAXPNAMELEN] = {};
};

using MidiInCallback = void (*)(HMIDIIN port, uint32_t message, uintptr_t instance, uintptr_t param1,
                                uintptr_t param2);
using MidiOutCallback = void (*)(HMIDIOUT port, uint32_t message, uintptr_t instance, uintptr_t param1,
                                 uintptr_t param2);

// Input ("capture") devices.
uint32_t MidiInGetNumDevs();
// deviceOrHandle: a device number, or an open HMIDIIN cast to uintptr_t, which
// fails with MMSYSERR_NODRIVER once its device has gone.
MMRESULT MidiInGetDevCaps(uintptr_t deviceOrHandle, MIDIINCAPS* caps);
MMRESULT MidiInOpen(HMIDIIN* port, uint32_t device, MidiInCallback callback, uintptr_t instance,
                    uint32_t flags);
MMRESULT MidiInPrepareHeader(HMIDIIN port, MIDIHDR* header);
// Also drops the header's callbacks not yet started, so it can be freed
// right after (both directions).
MMRESULT MidiInUnprepareHeader(HMIDIIN port, MIDIHDR* header);
MMRESULT MidiInAddBuffer(HMIDIIN port, MIDIHDR* header);
// Input flows only between start and stop; times are milliseconds since start.
MMRESULT MidiInStart(HMIDIIN port);
// Returns the buffer being filled, if any; the others stay queued.
MMRESULT MidiInStop(HMIDIIN port);
// Stops input and returns every queued buffer (MHDR_DONE) through MIM_LONGDATA.
MMRESULT MidiInReset(HMIDIIN port);
// MIDIERR_STILLPLAYING while buffers are queued.
MMRESULT MidiInClose(HMIDIIN port);

// Output ("render") devices.
uint32_t MidiOutGetNumDevs();
MMRESULT MidiOutGetDevCaps(uintptr_t deviceOrHandle, MIDIOUTCAPS* caps);
MMRESULT MidiOutOpen(HMIDIOUT* port, uint32_t device, MidiOutCallback callback, uintptr_t instance,
                     uint32_t flags);
// One channel or system message packed status byte lowest.
MMRESULT MidiOutShortMsg(HMIDIOUT port, uint32_t message);
MMRESULT MidiOutPrepareHeader(HMIDIOUT port, MIDIHDR* header);
// A header whose message the device has not taken yet is given back at once
// (the layer sends its own copy of the bytes and reports no MOM_DONE for it).
MMRESULT MidiOutUnprepareHeader(HMIDIOUT port, MIDIHDR* header);
// The bytes are copied; MOM_DONE follows once the device took them.
MMRESULT MidiOutLongMsg(HMIDIOUT port, MIDIHDR* header);
// Gives back every header not yet taken (MHDR_DONE, MOM_DONE).
MMRESULT MidiOutReset(HMIDIOUT port);
// MIDIERR_STILLPLAYING while a long message is not taken.
MMRESULT MidiOutClose(HMIDIOUT port);

// Waits until every callback that had started when it was called has
// returned. Not to be called from a callback.
void MidiWaitCallbacks();

// Milliseconds of the monotonic clock, wrapping at 2^32.
uint32_t TimeGetTime();
// Accepted for form; the clock's resolution is already a millisecond.
uint32_t TimeBeginPeriod(uint32_t periodMs);
uint32_t TimeEndPeriod(uint32_t periodMs);

}  // namespace Tavo::Platform::Midi
