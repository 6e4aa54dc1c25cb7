#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "ObjectBase/Result.h"
#include "Utilities/Storage/StringArray.h"

#include <memory>

namespace Tavo::Platform::App {
class IMessageLoop;
}

namespace Tavo {

// The open-file dialog: runs the desktop's file chooser modally and keeps the
// folder of the last choice for the next use.
class LFileDialog : public virtual LRefCountedObject
{
public:
    explicit LFileDialog(const WString& initialFolder);
    ~LFileDialog() override;
    LFileDialog(const LFileDialog&) = delete;
    LFileDialog& operator=(const LFileDialog&) = delete;

    // filter: "description|patterns|description|patterns..." with patterns
    // such as "*.bin;*.hex". defaultExtension: "bin" (a leading "*." is
    // dropped). S_OK when a file was chosen, E_FAIL on cancel, on a chooser
    // failure, while the dialog is already open, and (the user is told) when
    // no chooser is installed, when the chooser cannot print a chosen name
    // exactly or when a chosen file is not there.
    TavoResult DoModal(const WString& filter, const WString& defaultExtension, const WString& title,
                       bool multiple);

    // The chosen full path after a single choice; the folder after a
    // multiple one.
    WString GetFileName() const { return mFileName; }
    // Where the next use opens.
    const WString& GetFolder() const { return mFolder; }
    // Every path of the multiple choices so far.
    const WStringArray& GetResults() const { return mResults; }

    // The loop that keeps running while the chooser is open; the process's
    // user-interface loop unless set.
    void SetMessageLoop(Platform::App::IMessageLoop* loop) { mLoop = loop; }

private:
    WString mFileName;
    WString mFolder;
    WStringArray mResults;
    Platform::App::IMessageLoop* mLoop = nullptr;
    bool mOpen = false;
};

}  // namespace Tavo
