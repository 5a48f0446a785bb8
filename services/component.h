// Ownership as the forms use it: a component created with an owner is
// destroyed by that owner, after the owner's own destructor body has run.
#pragma once

#include <algorithm>
#include <vector>

class TComponent {
 public:
  explicit TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
  }
  virtual ~TComponent() {
    // Owned components are destroyed last-created first.
    while (!components_.empty()) {
      TComponent* child = components_.back();
      components_.pop_back();
      child->owner_ = nullptr;
      delete child;
    }
    if (owner_) {
      auto& siblings = owner_->components_;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
  }
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
};
