#include "ObjectBase/RefCountedObject.h"

namespace Tavo {

StringT<char16_t, char> LRefCountedObject::ToString() const
{
    NString name(RuntimeTypeName(typeid(*this)).c_str());
    return WString(u"LRefCountedObject::ToString() not overridden. Returning TypeName: ") + WString(name);
}

void LRefCountedObject::Undo()
{
    throw Exception<std::logic_error>(
        "Logic Error : Undo() not implemented for RefCountedObject : Tavo::LRefCountedObject::Undo : "
        "objectbase\\RefCountedObject : Line 155");
}

int32_t LRefCountedObject::AddRef()
{
    return mRefCount.fetch_add(1) + 1;
}

int32_t LRefCountedObject::Release()
{
    int32_t count = mRefCount.load();
    int32_t internal = mInternalRefCount.load();
    if (count - internal == 1) {
        uint32_t expected = 0;
        if (mReleaseGuard.compare_exchange_strong(expected, 1)) {
            if (mInternalRefCount.load() > 0)
                ReleaseInternalReferences();
            // Still shared: let a later release try again.
            if (mRefCount.load() != 1) {
                expected = 1;
                mReleaseGuard.compare_exchange_strong(expected, 0);
            }
        }
    }
    int32_t left = mRefCount.fetch_sub(1) - 1;
    if (left == 0)
        delete this;
    return left;
}

TavoResult LRefCountedObject::ReleaseInternalReferences()
{
    return (mInternalRefCount.load() == 0 && mRefCount.load() == 1) ? S_OK : E_FAIL;
}

RCPtr<LRefCountedObject, LRefCountedObject*> LRefCountedObject::CreateCopy() const
{
    throw Exception<std::logic_error>("Logic Error : CreateCopy() not implemented for RefCountedObject : "
                                      "Tavo::LRefCountedObject::CreateCopy : "
                                      "objectbase\\RefCountedObject : Line 273");
}

void LRefCountedObject::SetUnshareable(bool unshareable)
{
    if (unshareable && mRefCount.load() > 1)
        throw Exception<std::runtime_error>("Runtime Error : Tavo::LRefCountedObject::SetUnshareable : "
                                            "ObjectBase\\RefCountedObject : Line 29");
    mShareable = !unshareable;
}

}  // namespace Tavo
