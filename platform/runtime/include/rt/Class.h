#pragma once
// Class descriptions: one per C++ class deriving from rt::Object (registered once, on
// first use, by RT_CLASS), and any number made at run time (templates, trampolines,
// proxy subclasses). A description knows its name, its superclass chain, the protocols
// it adopts, and carries the tables the dynamic layer and key-value coding add.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace rt {

class Object;
struct PropertyTable;  // key-value coding: registered properties (PropertyTable.h)
struct MethodTable;    // dynamic messages: selector -> implementation (MethodTable.h)

/// The qualified name of a C++ class ("ui::Image").
std::string qualifiedClassName(const std::type_info& type);

class Class {
public:
    using Factory = std::function<std::shared_ptr<Object>()>;

    /// Registers the description of a compiled class. Called by RT_CLASS, once per
    /// class. Raises InternalInconsistencyException when a class of the same
    /// qualified name is registered already.
    static const Class& describe(const char* name, std::string qualifiedName, const Class* superclass, Factory factory);
    /// Makes and registers a class at run time. Answers nullptr when the name is taken.
    static Class* allocateClassPair(const Class* superclass, std::string name);
    /// Removes a run-time made class from the registry. Objects still using it keep a
    /// valid description until the process ends (descriptions are never freed).
    static void disposeClassPair(Class* cls);
    /// Looks a class up by qualified name ("ui::Image"), or else by name ("Image"; the
    /// first class registered under a name answers it). Compiled classes once
    /// described, run-time classes while registered.
    static const Class* named(std::string_view name);

    /// The class's own name, without namespaces: what descriptions and archives show.
    const std::string& name() const { return name_; }
    /// The name with its namespaces ("ui::Image"); the name itself for run-time classes.
    const std::string& qualifiedName() const { return qualifiedName_; }
    const Class* superclass() const { return superclass_; }
    bool isSubclassOf(const Class& other) const;
    bool isRuntimeMade() const { return runtimeMade_; }

    /// Adopts a named protocol. Conformance is inherited by subclasses and, through
    /// the protocol registry, covers protocols the adopted ones adopt.
    void addProtocol(std::string protocolName) const;
    bool conformsTo(std::string_view protocolName) const;
    std::vector<std::string> protocols() const;  // own protocols only

    /// Declares the class's objects usable on the main thread only (rt/MainThread.h):
    /// its typed key setters and its key-value coding by name then refuse other
    /// threads, for it and its subclasses.
    void setMainThreadOnly() const { mainThreadOnly_.store(true, std::memory_order_relaxed); }
    /// Whether this class itself was declared so (rt::MainThread::isMainThreadOnly
    /// asks its superclasses too).
    bool isMainThreadOnly() const { return mainThreadOnly_.load(std::memory_order_relaxed); }

    /// Creates an instance (nullptr when the class has no default factory).
    std::shared_ptr<Object> instantiate() const;
    void setFactory(Factory factory) { factory_ = std::move(factory); }

    /// Tables other runtime layers attach; created on first use.
    PropertyTable& properties() const;
    MethodTable& methods() const;
    MethodTable& classMethods() const;

    /// Hook through which the protocol registry answers "does protocol P adopt Q".
    static void setProtocolAdoptionQuery(bool (*query)(std::string_view protocol, std::string_view adopted));

    Class(std::string name, std::string qualifiedName, const Class* superclass, Factory factory, bool runtimeMade);
    ~Class();
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

private:
    std::string name_;
    std::string qualifiedName_;
    const Class* superclass_;
    Factory factory_;
    bool runtimeMade_;
    mutable std::atomic<bool> mainThreadOnly_{false};
    mutable std::mutex mutex_;
    mutable std::vector<std::string> protocols_;
    mutable std::unique_ptr<PropertyTable> properties_;
    mutable std::unique_ptr<MethodTable> methods_;
    mutable std::unique_ptr<MethodTable> classMethods_;
};

}  // namespace rt
