// The real program in a real window: an X server in memory (Xvfb) shows it, and the test closes
// it the way a window manager's close button does, with a WM_DELETE_WINDOW message.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <optional>

#if __has_include(<xcb/xcb.h>)
#include <dlfcn.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// The few libxcb calls the test makes, loaded at run time so the test program links no X library.
class XClient {
 public:
  explicit XClient(const QByteArray& display) {
    library_ = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library_ || !load()) return;
    connection_ = connect_(display.constData(), nullptr);
    if (connection_ && connection_has_error_(connection_)) {
      disconnect_(connection_);
      connection_ = nullptr;
    }
  }
  ~XClient() {
    if (connection_) disconnect_(connection_);
    if (library_) dlclose(library_);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  bool connected() const { return connection_ != nullptr; }

  // A shown top-level window with this title, if there is one now.
  std::optional<xcb_window_t> viewableWindowTitled(const QByteArray& title) {
    const xcb_window_t root = setup_roots_iterator_(get_setup_(connection_)).data->root;
    xcb_query_tree_reply_t* tree =
        query_tree_reply_(connection_, query_tree_(connection_, root), nullptr);
    if (!tree) return std::nullopt;
    std::optional<xcb_window_t> found;
    const xcb_window_t* children = query_tree_children_(tree);
    for (int i = 0; i < query_tree_children_length_(tree) && !found; ++i)
      if (titleOf(children[i]) == title && viewable(children[i])) found = children[i];
    std::free(tree);
    return found;
  }

  void sendDeleteWindow(xcb_window_t window) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    send_event_(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                reinterpret_cast<const char*>(&event));
    flush_(connection_);
  }

 private:
  template <typename F>
  bool resolve(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(library_, name));
    return function != nullptr;
  }

  bool load() {
    return resolve(connect_, "xcb_connect") &&
           resolve(connection_has_error_, "xcb_connection_has_error") &&
           resolve(disconnect_, "xcb_disconnect") && resolve(get_setup_, "xcb_get_setup") &&
           resolve(setup_roots_iterator_, "xcb_setup_roots_iterator") &&
           resolve(query_tree_, "xcb_query_tree") &&
           resolve(query_tree_reply_, "xcb_query_tree_reply") &&
           resolve(query_tree_children_, "xcb_query_tree_children") &&
           resolve(query_tree_children_length_, "xcb_query_tree_children_length") &&
           resolve(get_property_, "xcb_get_property") &&
           resolve(get_property_reply_, "xcb_get_property_reply") &&
           resolve(get_property_value_, "xcb_get_property_value") &&
           resolve(get_property_value_length_, "xcb_get_property_value_length") &&
           resolve(get_window_attributes_, "xcb_get_window_attributes") &&
           resolve(get_window_attributes_reply_, "xcb_get_window_attributes_reply") &&
           resolve(intern_atom_, "xcb_intern_atom") &&
           resolve(intern_atom_reply_, "xcb_intern_atom_reply") &&
           resolve(send_event_, "xcb_send_event") && resolve(flush_, "xcb_flush");
  }

  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply = intern_atom_reply_(
        connection_, intern_atom_(connection_, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
  }

  QByteArray titleOf(xcb_window_t window) {
    xcb_get_property_reply_t* reply = get_property_reply_(
        connection_,
        get_property_(connection_, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    if (!reply) return {};
    QByteArray title(static_cast<const char*>(get_property_value_(reply)),
                     get_property_value_length_(reply));
    std::free(reply);
    return title;
  }

  bool viewable(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* reply = get_window_attributes_reply_(
        connection_, get_window_attributes_(connection_, window), nullptr);
    const bool shown = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return shown;
  }

  void* library_ = nullptr;
  xcb_connection_t* connection_ = nullptr;
  decltype(&::xcb_connect) connect_ = nullptr;
  decltype(&::xcb_connection_has_error) connection_has_error_ = nullptr;
  decltype(&::xcb_disconnect) disconnect_ = nullptr;
  decltype(&::xcb_get_setup) get_setup_ = nullptr;
  decltype(&::xcb_setup_roots_iterator) setup_roots_iterator_ = nullptr;
  decltype(&::xcb_query_tree) query_tree_ = nullptr;
  decltype(&::xcb_query_tree_reply) query_tree_reply_ = nullptr;
  decltype(&::xcb_query_tree_children) query_tree_children_ = nullptr;
  decltype(&::xcb_query_tree_children_length) query_tree_children_length_ = nullptr;
  decltype(&::xcb_get_property) get_property_ = nullptr;
  decltype(&::xcb_get_property_reply) get_property_reply_ = nullptr;
  decltype(&::xcb_get_property_value) get_property_value_ = nullptr;
  decltype(&::xcb_get_property_value_length) get_property_value_length_ = nullptr;
  decltype(&::xcb_get_window_attributes) get_window_attributes_ = nullptr;
  decltype(&::xcb_get_window_attributes_reply) get_window_attributes_reply_ = nullptr;
  decltype(&::xcb_intern_atom) intern_atom_ = nullptr;
  decltype(&::xcb_intern_atom_reply) intern_atom_reply_ = nullptr;
  decltype(&::xcb_send_event) send_event_ = nullptr;
  decltype(&::xcb_flush) flush_ = nullptr;
};

// An X server in memory for the length of a test; it picks a free display itself.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    server_.start(QStringLiteral("Xvfb"),
                  {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
    if (!server_.waitForStarted(10000)) return;
    QElapsedTimer waited;
    waited.start();
    while (!number_.endsWith('\n') && waited.elapsed() < 20000 &&
           server_.state() == QProcess::Running)
      if (server_.waitForReadyRead(500)) number_ += server_.readAllStandardOutput();
  }
  ~VirtualDisplay() {
    server_.terminate();
    if (!server_.waitForFinished(5000)) server_.kill();
    server_.waitForFinished(5000);
  }

  bool ready() const { return number_.endsWith('\n'); }
  QByteArray name() const { return ":" + number_.trimmed(); }

 private:
  QProcess server_;
  QByteArray number_;
};

}  // namespace

TEST(RealWindowTest, ClosingTheWindowEndsTheProcessWithExitCodeZero) {
  if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
  VirtualDisplay display;
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  XClient x(display.name());
  if (!x.connected()) GTEST_SKIP() << "no X client library";

  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("DISPLAY", QString::fromLatin1(display.name()));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(TELVAR_BINARY), {});
  ASSERT_TRUE(program.waitForStarted(10000));

  std::optional<xcb_window_t> window;
  QElapsedTimer waited;
  waited.start();
  while (!(window = x.viewableWindowTitled("TELVAR")) && waited.elapsed() < 30000 &&
         program.state() == QProcess::Running)
    QThread::msleep(50);
  ASSERT_TRUE(window.has_value()) << program.readAllStandardError().toStdString();

  x.sendDeleteWindow(*window);
  ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

#else

TEST(RealWindowTest, ClosingTheWindowEndsTheProcessWithExitCodeZero) {
  GTEST_SKIP() << "built without the X client headers";
}

#endif
