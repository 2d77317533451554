#pragma once
// Class descriptions: one per C++ class deriving from rt::Object (registered once, on
// first use, by RT_CLASS), and any number made at run time (templates, trampolines,
// proxy subclasses). A description knows its name, its superclass chain, the protocols
// it adopts, and carries the tables the dynamic layer and key-value coding add.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class Object;
struct PropertyTable;  // key-value coding: registered properties (PropertyTable.h)
struct MethodTable;    // dynamic messages: selector -> implementation (MethodTable.h)

class Class {
public:
    using Factory = std::function<std::shared_ptr<Object>()>;

    /// Registers (once) the description of a compiled class. Called by RT_CLASS.
    static const Class& describe(const char* name, const Class* superclass, Factory factory);
    /// Makes and registers a class at run time. Answers nullptr when the name is taken.
    static Class* allocateClassPair(const Class* superclass, std::string name);
    /// Removes a run-time made class from the registry. Objects still using it keep a
    /// valid description until the process ends (descriptions are never freed).
    static void disposeClassPair(Class* cls);
    /// Looks a class up by name (compiled classes once described, run-time classes
    /// while registered).
    static const Class* named(std::string_view name);

    const std::string& name() const { return name_; }
    const Class* superclass() const { return superclass_; }
    bool isSubclassOf(const Class& other) const;
    bool isRuntimeMade() const { return runtimeMade_; }

    /// Adopts a named protocol. Conformance is inherited by subclasses and, through
    /// the protocol registry, covers protocols the adopted ones adopt.
    void addProtocol(std::string protocolName) const;
    bool conformsTo(std::string_view protocolName) const;
    std::vector<std::string> protocols() const;  // own protocols only

    /// Creates an instance (nullptr when the class has no default factory).
    std::shared_ptr<Object> instantiate() const;
    void setFactory(Factory factory) { factory_ = std::move(factory); }

    /// Tables other runtime layers attach; created on first use.
    PropertyTable& properties() const;
    MethodTable& methods() const;
    MethodTable& classMethods() const;

    /// Hook through which the protocol registry answers "does protocol P adopt Q".
    static void setProtocolAdoptionQuery(bool (*query)(std::string_view protocol, std::string_view adopted));

    Class(std::string name, const Class* superclass, Factory factory, bool runtimeMade);
    ~Class();
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

private:
    std::string name_;
    const Class* superclass_;
    Factory factory_;
    bool runtimeMade_;
    mutable std::mutex mutex_;
    mutable std::vector<std::string> protocols_;
    mutable std::unique_ptr<PropertyTable> properties_;
    mutable std::unique_ptr<MethodTable> methods_;
    mutable std::unique_ptr<MethodTable> classMethods_;
};

}  // namespace rt
