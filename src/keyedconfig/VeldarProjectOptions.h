#pragma once
// The owner chain that library objects hang in, and the project-options interface.

#include <string>

namespace orvex {

// A named object that may be owned by another; the chain is references only
// (an owner does not free what it owns here). The keybox map is one.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr, std::u16string name = {})
        : FOwner(owner), FName(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::u16string& Name() const { return FName; }
    void SetName(std::u16string name) { FName = std::move(name); }

private:
    TComponent* FOwner;
    std::u16string FName;
};

// The component at the top of the owner chain (the one without an owner); nullptr
// for nullptr. A chain that loops back on itself stops at the last new component.
TComponent* TopOwner(TComponent* component);

// Marks a component that carries project options; it has no operations.
class IVeldarProjectOptions {
public:
    virtual ~IVeldarProjectOptions() = default;
};

} // namespace orvex
