#include "common/MenuItem.h"

TMenuItem::TMenuItem(const QString& Caption, int Tag)
    : caption_(Caption)
    , tag_(Tag) {}

TMenuItem::~TMenuItem() = default;

void TMenuItem::SetCaption(const QString& Caption) {
    if (caption_ != Caption) {
        caption_ = Caption;
        NotifyChanged();
    }
}

void TMenuItem::SetEnabled(bool Enabled) {
    if (enabled_ != Enabled) {
        enabled_ = Enabled;
        NotifyChanged();
    }
}

void TMenuItem::SetChecked(bool Checked) {
    if (checked_ != Checked) {
        checked_ = Checked;
        NotifyChanged();
    }
}

void TMenuItem::SetRadioItem(bool Radio) {
    if (radioItem_ != Radio) {
        radioItem_ = Radio;
        NotifyChanged();
    }
}

TMenuItem* TMenuItem::Add(const QString& Caption, int Tag, ClickHandler Handler) {
    auto item = std::make_shared<TMenuItem>(Caption, Tag);
    item->parent_ = this;
    item->onClick_ = std::move(Handler);
    items_.push_back(std::move(item));
    NotifyChanged();
    return items_.back().get();
}

void TMenuItem::Clear() {
    if (items_.empty())
        return;
    for (const auto& item : items_)
        item->parent_ = nullptr;
    items_.clear();
    NotifyChanged();
}

TMenuItem* TMenuItem::FindByTag(int Tag) const {
    for (const auto& item : items_)
        if (item->tag_ == Tag)
            return item.get();
    return nullptr;
}

void TMenuItem::Click() {
    const std::shared_ptr<TMenuItem> keepAlive = weak_from_this().lock();
    const ClickHandler handler = onClick_;
    if (handler)
        handler(this);
}

void TMenuItem::NotifyChanged() {
    TMenuItem* root = this;
    while (root->parent_)
        root = root->parent_;
    emit root->Changed();
}
