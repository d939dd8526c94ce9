#pragma once
// The little that the engine components need of a component model: a name, an owner whose name
// qualifies theirs ("Form1.KdbCPath"), and the two states that change their behaviour: being
// read from a form description, and design time.

#include <string>

namespace parvell {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr, std::string name = {})
        : owner_(owner), name_(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    virtual void SetName(std::string name) { name_ = std::move(name); }
    // Not owned: the owner outlives its components.
    TComponent* Owner() const { return owner_; }

    // Loading brackets the reading of the component's stored properties; EndLoading runs
    // Loaded, where deferred work (a stored IsConnected) happens.
    bool Loading() const { return loading_; }
    void BeginLoading() { loading_ = true; }
    void EndLoading() {
        loading_ = false;
        Loaded();
    }
    bool Designing() const { return designing_; }
    void SetDesigning(bool value) { designing_ = value; }

protected:
    virtual void Loaded() {}

private:
    TComponent* owner_;
    std::string name_;
    bool loading_ = false;
    bool designing_ = false;
};

}  // namespace parvell
