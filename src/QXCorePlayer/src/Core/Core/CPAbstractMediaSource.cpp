#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <rt/Exception.h>
#include <rt/PropertyTable.h>

namespace zid {

rt::Ref<rt::Error> mediaSourceError(CPMediaSourceErrorCode code) {
    return rt::Error::make(kMediaSourceErrorDomain, static_cast<long long>(code));
}

rt::Value userOfSource(const rt::Object& source) {
    if (!rt::findProperty(source.objectClass(), "user")) return {};
    return source.valueForKey("user");
}

void CPAbstractMediaSource::realizeWithPlaybackID(const std::string&) {
    rt::raiseMustOverride("realizeWithPlaybackID:", *this);
}

void CPAbstractMediaSource::dispose() { rt::raiseMustOverride("dispose", *this); }

bool CPAbstractMediaSource::handlePlaybackError(const rt::Ref<rt::Error>&) { return false; }
void CPAbstractMediaSource::continueWithPassword(const std::string&) {}
void CPAbstractMediaSource::continueWithHash(const std::string&) {}
void CPAbstractMediaSource::continueWithAgeConfirmed(bool) {}
void CPAbstractMediaSource::cancelAgeConfirmation() {}

void CPAbstractMediaSource::writeState(CPMediaSourceState state, bool force) {
    if (force)
        stateKey.setAlways(*this, state);
    else
        stateKey.set(*this, state);
}

void CPAbstractMediaSource::setRealizing() {
    if (state() == CPMediaSourceState::Realizing) return;
    setError(nullptr);
    writeState(CPMediaSourceState::Realizing, false);
}

void CPAbstractMediaSource::setRealized() { writeState(CPMediaSourceState::Realized, false); }
void CPAbstractMediaSource::setUnrealized() { writeState(CPMediaSourceState::Unrealized, false); }
void CPAbstractMediaSource::setWaiting() { writeState(CPMediaSourceState::Waiting, false); }

void CPAbstractMediaSource::setFailedWithError(const rt::Ref<rt::Error>& error) {
    setError(error);
    writeState(CPMediaSourceState::Failed, true);
}

void CPAbstractMediaSource::setFailedPermanentWithError(const rt::Ref<rt::Error>& error) {
    setError(error);
    writeState(CPMediaSourceState::FailedPermanent, true);
}

void CPAbstractMediaSource::setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock) {
    setLock(lock);
    setWaiting();
}

}  // namespace zid
