#pragma once
// Aggregate state of an object from a list of other objects, by bindings:
//   empty state    the receiver's "isEmpty" follows the "isEmpty" of its sources,
//   loading state  the receiver's "isLoading" follows their "isLoading",
//   error state    the receiver's "error" follows their "error" (none, the one error,
//                  or one error of domain "MultiError" holding them all, in list order).
// Each source must be key-value observable for the key; the receiver must accept
// key-value writes to it. A later call replaces the earlier binding.

#include <functional>

#include <QXFoundation/Lists/IList.h>
#include <rt/Object.h>

namespace zid {

/// Combines the values of the sources (one entry per source, in list order: a
/// number, or the null placeholder for nil) into the receiver's state.
using StatePolicy = std::function<bool(const rt::Value::Array&)>;

/// Binds "isEmpty" of the receiver to the policy over the sources' "isEmpty"; with no
/// sources, to NO.
void setEmptyStatePolicy(rt::Object& receiver, StatePolicy policy, const rt::Ref<IList>& sources);
/// Always NO.
StatePolicy emptyStatePolicyIgnore();
/// YES for no sources, else YES when any source is empty.
StatePolicy emptyStatePolicyAny();
/// YES for no sources, else YES when every source is empty.
StatePolicy emptyStatePolicyAll();

/// Binds "isLoading" of the receiver to the policy over the sources' "isLoading"; with
/// no sources, to NO.
void setLoadingStatePolicy(rt::Object& receiver, StatePolicy policy, const rt::Ref<IList>& sources);
StatePolicy loadingStatePolicyIgnore();
/// YES when any source is loading; NO for no sources.
StatePolicy loadingStatePolicyAny();
/// YES when every source is loading; NO for no sources.
StatePolicy loadingStatePolicyAll();

/// Binds "error" of the receiver to the sources' errors; with no sources, ends that
/// binding and leaves "error" as it is.
void bindErrorStateToSources(rt::Object& receiver, const rt::Ref<IList>& sources);

}  // namespace zid
