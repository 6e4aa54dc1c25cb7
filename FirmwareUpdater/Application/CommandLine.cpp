#include "Application/CommandLine.h"

bool FindSwitch(const Tavo::WString& commandLine, const Tavo::WString& name, Tavo::WString* value)
{
    const int32_t nameLength = int32_t(name.GetLength());
    if (nameLength < 2 || name[0] != u'-')
        return false;
    const int32_t at = commandLine.ToUpper().Find(name);
    if (at < 0)
        return false;
    const int32_t length = int32_t(commandLine.GetLength());
    const int32_t end = at + nameLength;
    if (name[uint32_t(nameLength - 1)] != u'=')
        return end == length || commandLine[uint32_t(end)] == u' ';

    if (end < length && commandLine[uint32_t(end)] == u' ')
        return false;
    int32_t start = end;
    int32_t stop;
    if (end < length && commandLine[uint32_t(end)] == u'"') {
        start = end + 1;
        stop = commandLine.Find(u'"', start);
    } else {
        stop = commandLine.Find(u' ', start);
    }
    if (stop < 0)
        stop = length;
    if (value)
        *value = commandLine.Mid(start, stop - start);
    return true;
}
