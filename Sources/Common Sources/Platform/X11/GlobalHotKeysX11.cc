// A private xcb connection rather than Qt's own: the grabs and their events
// stay in the platform layer, the connection is ours to read, and nothing
// depends on which platform plugin Qt happens to run on.
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

#include "Platform/X11/GlobalHotKeys.h"

namespace corvane {
namespace {

constexpr xcb_keysym_t kKeysymC = 0x0063;        // XK_c
constexpr xcb_keysym_t kKeysymH = 0x0068;        // XK_h
constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;  // XK_Num_Lock
constexpr uint16_t kHotKeyModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

// The modifier bit Num Lock sits on in this server's keymap (usually Mod2).
uint16_t NumLockMask(xcb_connection_t* c, xcb_key_symbols_t* symbols) {
  xcb_keycode_t* numlock = xcb_key_symbols_get_keycode(symbols, kKeysymNumLock);
  if (numlock == nullptr) return 0;
  uint16_t mask = 0;
  xcb_get_modifier_mapping_reply_t* reply =
      xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
  if (reply != nullptr) {
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int per = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
      for (int k = 0; k < per; ++k) {
        for (const xcb_keycode_t* n = numlock; *n != XCB_NO_SYMBOL; ++n) {
          if (codes[modifier * per + k] == *n) mask = static_cast<uint16_t>(1u << modifier);
        }
      }
    }
    std::free(reply);
  }
  std::free(numlock);
  return mask;
}

}  // namespace

struct GlobalHotKeys::Impl {
  xcb_connection_t* connection = nullptr;
  xcb_key_symbols_t* symbols = nullptr;
  std::vector<xcb_keycode_t> codes_c, codes_h;
  uint16_t ignored_modifiers = XCB_MOD_MASK_LOCK;

  ~Impl() {
    if (symbols != nullptr) xcb_key_symbols_free(symbols);
    if (connection != nullptr) xcb_disconnect(connection);
  }

  // Every keycode that carries the keysym (a keymap may list several).
  std::vector<xcb_keycode_t> Codes(xcb_keysym_t keysym) {
    std::vector<xcb_keycode_t> codes;
    xcb_keycode_t* list = xcb_key_symbols_get_keycode(symbols, keysym);
    if (list == nullptr) return codes;
    for (const xcb_keycode_t* k = list; *k != XCB_NO_SYMBOL; ++k) codes.push_back(*k);
    std::free(list);
    return codes;
  }

  bool Grab(xcb_window_t root, xcb_keycode_t code, uint16_t num_lock) {
    const uint16_t extras[] = {0, XCB_MOD_MASK_LOCK, num_lock,
                               static_cast<uint16_t>(num_lock | XCB_MOD_MASK_LOCK)};
    bool ok = true;
    for (uint16_t extra : extras) {
      if (extra == num_lock && num_lock == 0) continue;
      xcb_generic_error_t* error = xcb_request_check(
          connection, xcb_grab_key_checked(connection, 1, root, kHotKeyModifiers | extra, code,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
      if (error != nullptr) {
        ok = false;
        std::free(error);
      }
    }
    return ok;
  }
};

GlobalHotKeys::GlobalHotKeys() : impl_(std::make_unique<Impl>()) {}
GlobalHotKeys::~GlobalHotKeys() = default;

HotKeysStart GlobalHotKeys::Start() {
  if (impl_->connection != nullptr) return HotKeysStart::kStarted;
  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return HotKeysStart::kNoDisplay;
  }
  impl_->connection = c;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screen_number && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) return HotKeysStart::kNoDisplay;
  const xcb_window_t root = it.data->root;

  impl_->symbols = xcb_key_symbols_alloc(c);
  if (impl_->symbols == nullptr) return HotKeysStart::kNoDisplay;
  const uint16_t num_lock = NumLockMask(c, impl_->symbols);
  impl_->ignored_modifiers = static_cast<uint16_t>(XCB_MOD_MASK_LOCK | num_lock);
  impl_->codes_c = impl_->Codes(kKeysymC);
  impl_->codes_h = impl_->Codes(kKeysymH);
  bool ok = !impl_->codes_c.empty() && !impl_->codes_h.empty();
  for (xcb_keycode_t code : impl_->codes_c) ok = impl_->Grab(root, code, num_lock) && ok;
  for (xcb_keycode_t code : impl_->codes_h) ok = impl_->Grab(root, code, num_lock) && ok;
  xcb_flush(c);
  return ok ? HotKeysStart::kStarted : HotKeysStart::kHeldElsewhere;
}

int GlobalHotKeys::EventDescriptor() const {
  return impl_->connection != nullptr ? xcb_get_file_descriptor(impl_->connection) : -1;
}

std::vector<HotKey> GlobalHotKeys::ReadPressed() {
  std::vector<HotKey> pressed;
  if (impl_->connection == nullptr) return pressed;
  while (xcb_generic_event_t* event = xcb_poll_for_event(impl_->connection)) {
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS) {
      auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
      const uint16_t state = key->state & ~impl_->ignored_modifiers;
      if ((state & kHotKeyModifiers) == kHotKeyModifiers) {
        for (xcb_keycode_t code : impl_->codes_c)
          if (key->detail == code) pressed.push_back(HotKey::kCreditStrip);
        for (xcb_keycode_t code : impl_->codes_h)
          if (key->detail == code) pressed.push_back(HotKey::kStatusItem);
      }
    } else if (type == XCB_MAPPING_NOTIFY) {
      xcb_refresh_keyboard_mapping(impl_->symbols,
                                   reinterpret_cast<xcb_mapping_notify_event_t*>(event));
    }
    std::free(event);
  }
  return pressed;
}

}  // namespace corvane
