#pragma once
// Menus as data. The core builds and updates menu items (caption, tag,
// enabled, checked, click handler) without knowing any widget; the main
// window mirrors each root item into a real menu, rebuilding it whenever the
// item reports a change, and passes clicks back through Click().

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TMenuItem : public QObject, public std::enable_shared_from_this<TMenuItem> {
    Q_OBJECT
public:
    using ClickHandler = std::function<void(TMenuItem* Item)>;

    explicit TMenuItem(const QString& Caption = QString(), int Tag = 0);
    ~TMenuItem() override;

    QString Caption() const { return caption_; }
    int Tag() const { return tag_; }
    bool Enabled() const { return enabled_; }
    bool Checked() const { return checked_; }
    bool RadioItem() const { return radioItem_; }
    bool IsSeparator() const { return caption_ == QLatin1String("-"); }
    TMenuItem* Parent() const { return parent_; }

    void SetCaption(const QString& Caption);
    void SetEnabled(bool Enabled);
    void SetChecked(bool Checked);
    void SetRadioItem(bool Radio);
    void SetOnClick(ClickHandler Handler) { onClick_ = std::move(Handler); }

    // Sub-items, in menu order.
    TMenuItem* Add(const QString& Caption, int Tag, ClickHandler Handler = {});
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Item(int Index) const { return items_.at(static_cast<size_t>(Index)).get(); }
    TMenuItem* FindByTag(int Tag) const;

    // What a user's click does: runs the click handler, if any. The item
    // outlives the handler even if the handler rebuilds the menu it is in.
    void Click();

signals:
    // This item or any item below it changed; emitted by the root item.
    void Changed();

private:
    void NotifyChanged();

    QString caption_;
    int tag_ = 0;
    bool enabled_ = true;
    bool checked_ = false;
    bool radioItem_ = false;
    ClickHandler onClick_;
    TMenuItem* parent_ = nullptr;
    std::vector<std::shared_ptr<TMenuItem>> items_;
};
