#pragma once

// A window of the program. Each window class has one default instance, created (and loaded) on
// first use; unloading runs the window's unload handler and then destroys it; the program ends
// once no window is left. Windows pass the turn to each other with handOver().

#include <QPointer>
#include <QWidget>
#include <type_traits>

namespace plaintrove::runtime {

class Form : public QWidget
{
    Q_OBJECT
public:
    explicit Form(QWidget *parent = nullptr);

    // Runs Form_Load once, before the window is first shown.
    void load();

    // True from the moment the unload went ahead; the object itself is deleted later.
    bool isUnloaded() const { return m_unloaded; }

    // With key preview on, the window's Form_KeyPress sees every character key first, whichever
    // of its controls has the focus.
    void setKeyPreview(bool on);

signals:
    void unloaded();

protected:
    virtual void Form_Load() { }
    // keyAscii: the character the key produces; keys that produce none never get here.
    virtual void Form_KeyPress(int keyAscii) { Q_UNUSED(keyAscii) }
    // Setting cancel keeps the window loaded.
    virtual void Form_Unload(bool &cancel) { Q_UNUSED(cancel) }

    void closeEvent(QCloseEvent *event) final;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool deliverKeyPress(QKeyEvent *event);

    bool m_loaded = false;
    bool m_unloaded = false;
};

// Unloads a window: its Form_Unload runs, then (unless cancelled) it is destroyed. Returns false
// when the handler cancelled.
bool unload(Form &form);

// The windows that are loaded now, in no particular order.
QList<Form *> loadedForms();

namespace detail {
template <class F> inline QPointer<F> defaultInstanceSlot;
}

// The single instance of a window class, created and loaded on first use and again after it was
// unloaded. Top-level windows own themselves: they delete themselves when unloaded.
template <class F> F &defaultInstance()
{
    static_assert(std::is_base_of_v<Form, F>);
    QPointer<F> &slot = detail::defaultInstanceSlot<F>;
    if (slot.isNull() || slot->isUnloaded()) {
        slot = new F(); // deleted on unload (Qt::WA_DeleteOnClose)
        slot->load();
    }
    return *slot;
}

// True while the window class's instance exists and has not been unloaded.
template <class F> bool isLoaded()
{
    const QPointer<F> &slot = detail::defaultInstanceSlot<F>;
    return !slot.isNull() && !slot->isUnloaded();
}

// Unloads the current window, then shows the next one modeless and without an owner.
template <class Next> void handOver(Form &current)
{
    unload(current);
    defaultInstance<Next>().show();
}

} // namespace plaintrove::runtime
