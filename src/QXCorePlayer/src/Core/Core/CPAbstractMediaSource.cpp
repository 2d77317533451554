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
    RT_MAIN_THREAD_ONLY();
    rt::raiseMustOverride("realizeWithPlaybackID:", *this);
}

void CPAbstractMediaSource::dispose() { RT_MAIN_THREAD_ONLY(); rt::raiseMustOverride("dispose", *this); }

bool CPAbstractMediaSource::handlePlaybackError(const rt::Ref<rt::Error>&) { RT_MAIN_THREAD_ONLY(); return false; }
void CPAbstractMediaSource::continueWithPassword(const std::string&) { RT_MAIN_THREAD_ONLY();}
void CPAbstractMediaSource::continueWithHash(const std::string&) { RT_MAIN_THREAD_ONLY();}
void CPAbstractMediaSource::continueWithAgeConfirmed(bool) { RT_MAIN_THREAD_ONLY();}
void CPAbstractMediaSource::cancelAgeConfirmation() { RT_MAIN_THREAD_ONLY();}

void CPAbstractMediaSource::writeState(CPMediaSourceState state, bool force) {
    if (force)
        stateKey.setAlways(*this, state);
    else
        stateKey.set(*this, state);
}

void CPAbstractMediaSource::setRealizing() {
    RT_MAIN_THREAD_ONLY();
    if (state() == CPMediaSourceState::Realizing) return;
    setError(nullptr);
    writeState(CPMediaSourceState::Realizing, false);
}

void CPAbstractMediaSource::setRealized() { RT_MAIN_THREAD_ONLY(); writeState(CPMediaSourceState::Realized, false); }
void CPAbstractMediaSource::setUnrealized() {
    RT_MAIN_THREAD_ONLY();
    writeState(CPMediaSourceState::Unrealized, false);
}
void CPAbstractMediaSource::setWaiting() { RT_MAIN_THREAD_ONLY(); writeState(CPMediaSourceState::Waiting, false); }

void CPAbstractMediaSource::setFailedWithError(const rt::Ref<rt::Error>& error) {
    RT_MAIN_THREAD_ONLY();
    setError(error);
    writeState(CPMediaSourceState::Failed, true);
}

void CPAbstractMediaSource::setFailedPermanentWithError(const rt::Ref<rt::Error>& error) {
    RT_MAIN_THREAD_ONLY();
    setError(error);
    writeState(CPMediaSourceState::FailedPermanent, true);
}

void CPAbstractMediaSource::setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock) {
    RT_MAIN_THREAD_ONLY();
    setLock(lock);
    setWaiting();
}

}  // namespace zid
