#!/usr/bin/env bash
# Builds the ThreadSanitizer preset (only the test binaries that need it) and runs the
# concurrency tests of the run loop, the operation engine and the task library under
# it: every test whose suite name begins with TaskConcurrency or LoopConcurrency (among
# them the stress test of an end announced while its operation is being added); then a
# set of the media engine's tests on real pipelines (below). Libraries built without the
# sanitizer are left out of what it checks by scripts/tsan.supp (it says why). Exits
# non-zero on a failed test, a reported race or a lock-order inversion.
#   scripts/tsan.sh [build]    (build: only build them)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ccache-env.sh
cmake --preset tsan -DZID_UNITY="${ZID_UNITY:-OFF}" >/dev/null
cmake --build build/tsan -j "$(nproc)" --target fnd_tests RudoreVaz_tests media_tests
[ "${1:-}" != build ] || exit 0

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp ${TSAN_OPTIONS:-}"
ctest --test-dir build/tsan --output-on-failure --timeout 300 -R '^(TaskConcurrency|LoopConcurrency)'

# The media engine's shared state on real GStreamer pipelines, in process: the fetch
# guard and its parts, the relay the streaming threads share, and the session's load,
# play, seek, failure and teardown (the lock order between the guard and the relay
# among them). Through scripts/engine-test.sh, as every engine test runs: GStreamer's own
# known aborts run again, a report of the sanitizer does not.
media=(
  'FetchGuardRules.*' 'PlaylistHandOverTest.*' 'SegmentMeterTest.*' 'LockOrderTest.*'
  GstMediaTest.LoadsToReadyWithSizeDurationTracksAndAPicture
  GstMediaTest.SeeksAccuratelyAndANewerSeekEndsTheOlder
  GstMediaTest.ASecondItemOfTheSameAssetGetsAPipelineOfItsOwn
  GstMediaTest.CancellingALoadLeavesNoKeyLoadedAndStopsThePipeline
  GstMediaTest.AnAnswerWithNothingToPlayFailsTheItemAtOnceNamingItOnce
  GstMediaTest.AnEndFarShortOfTheDurationAfterEmptySegmentsFailsTheItemNamingTheSegment
  GstMediaTest.AFailingSegmentFailsThePlayingItemWithTheElementsMessage
  GstMediaTest.ASegmentOverItsBoundIsNamedEvenWhenItsDownloadHasFinished
  GstMediaTest.ASegmentThatNeverEndsFailsTheItemWithinSecondsNamingItsURLAndTheEngineStaysSmall
  GstMediaTest.ALiveMediaPlaylistIsReadAgainEachTimeTheDemuxerFetchesIt
  GstMediaTest.AMediaPlaylistBehindAnyRedirectPlaysWithItsURIsResolvedWhereTheOriginAnswered
  GstMediaTest.AFailedSegmentOrARedirectLoopIsNamedForWhatItIs
  GstMediaTest.AnEncryptionKeyAnsweredNotFoundFailsTheItemWithoutGStreamerCriticals
)
filter=$(IFS=:; echo "${media[*]}")
(root=$PWD && cd build/tsan/tests/platform/media && timeout 600 "$root/scripts/engine-test.sh" ./media_tests --gtest_filter="$filter")
