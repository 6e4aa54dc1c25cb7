#pragma once

// The data the update engine posts with its notifications. Posters build one
// object per post; receivers only read it.

#include "ObjectBase/RefCountedObject.h"

#include <cstdint>

namespace Tavo {

inline constexpr char16_t kDeviceStateChangeName[] = u"NID_DEVICE_STATE_CHANGE";
inline constexpr char16_t kFirmwareFileStateChangeName[] = u"NID_FIRMWARE_FILE_STATE_CHANGE";
inline constexpr char16_t kFoundDeviceListChangeName[] = u"NID_FOUND_DEVICE_LIST_CHANGE";
inline constexpr char16_t kFirmwareUpdateProgressName[] = u"NID_FIRMWARE_UPDATE_PROGRESS";
inline constexpr char16_t kFirmwareUpdateCompletedName[] = u"NID_FIRMWARE_UPDATE_COMPLETED";

class LDeviceStateChangeNotificationData : public virtual LRefCountedObject
{
public:
    LDeviceStateChangeNotificationData(uint32_t newState, uint32_t oldState)
        : mNewState(newState), mOldState(oldState)
    {
    }

    uint32_t GetNewState() const { return mNewState; }
    uint32_t GetOldState() const { return mOldState; }

private:
    uint32_t mNewState;
    uint32_t mOldState;
};

class LFirmwareFileStateChangeNotificationData : public virtual LRefCountedObject
{
public:
    LFirmwareFileStateChangeNotificationData(uint32_t newState, uint32_t oldState)
        : mNewState(newState), mOldState(oldState)
    {
    }

    uint32_t GetNewState() const { return mNewState; }
    uint32_t GetOldState() const { return mOldState; }

private:
    uint32_t mNewState;
    uint32_t mOldState;
};

class LFirmwareUpdateCompletedNotificationData : public virtual LRefCountedObject
{
public:
    explicit LFirmwareUpdateCompletedNotificationData(bool success) : mSuccess(success) {}

    bool GetSuccess() const { return mSuccess; }

private:
    bool mSuccess;
};

class LFirmwareUpdateProgressNotificationData : public virtual LRefCountedObject
{
public:
    LFirmwareUpdateProgressNotificationData(uint32_t stage, double fraction, int32_t remainingTime,
                                            bool automaticEstimate, bool secondFlag, const WString& text)
        : mStage(stage), mFraction(fraction), mRemainingTime(remainingTime),
          mAutomaticEstimate(automaticEstimate), mSecondFlag(secondFlag), mText(text)
    {
    }

    uint32_t GetStage() const { return mStage; }
    // 0.0 to 1.0.
    double GetFraction() const { return mFraction; }
    // Seconds; -1 when not known. Shown only when the estimate is not automatic.
    int32_t GetRemainingTime() const { return mRemainingTime; }
    bool IsAutomaticEstimate() const { return mAutomaticEstimate; }
    bool GetSecondFlag() const { return mSecondFlag; }
    const WString& GetText() const { return mText; }

private:
    uint32_t mStage;
    double mFraction;
    int32_t mRemainingTime;
    bool mAutomaticEstimate;
    bool mSecondFlag;
    WString mText;
};

}  // namespace Tavo
