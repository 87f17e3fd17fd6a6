// The failure boundary inside an embedded interpreter: which exception each
// native failure becomes, and that the interpreter lock comes back.

#include "boundary.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <new>
#include <string>

#include "binding.h"
#include "invariant.h"

namespace trelk::py {
namespace {

class InterpreterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { Py_InitializeEx(0); }
  void TearDown() override { Py_FinalizeEx(); }
};

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new InterpreterEnvironment);

// Takes the pending exception, failing the test when there is none.
PyRef take_raised() {
  PyRef raised = PyRef::steal(PyErr_GetRaisedException());
  EXPECT_TRUE(raised) << "no exception was raised";
  return raised;
}

std::string str_of(PyObject* object) {
  PyRef text = PyRef::steal(PyObject_Str(object));
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size);
  return std::string(utf8, static_cast<std::size_t>(size));
}

std::string attribute(PyObject* object, const char* name) {
  PyRef value = PyRef::steal(PyObject_GetAttrString(object, name));
  return str_of(value.get());
}

TEST(BoundaryTest, BrokenInvariantBecomesPanicException) {
  const std::string message("range\0broken", 12);
  PyObject* result = guarded([&]() -> PyObject* { fail_invariant(message); });
  EXPECT_EQ(result, nullptr);
  PyRef raised = take_raised();
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(raised.get()));
  EXPECT_EQ(attribute(type, "__module__"), "pyo3_runtime");
  EXPECT_EQ(attribute(type, "__qualname__"), "PanicException");
  PyRef bases = PyRef::steal(PyObject_GetAttrString(type, "__bases__"));
  ASSERT_EQ(PyTuple_GET_SIZE(bases.get()), 1);
  EXPECT_EQ(PyTuple_GET_ITEM(bases.get(), 0), PyExc_BaseException);
  PyRef args = PyRef::steal(PyObject_GetAttrString(raised.get(), "args"));
  ASSERT_EQ(PyTuple_GET_SIZE(args.get()), 1);
  EXPECT_EQ(str_of(PyTuple_GET_ITEM(args.get(), 0)), message);

  // The type is made once and reused.
  (void)guarded([]() -> PyObject* { fail_invariant("again"); });
  PyRef second = take_raised();
  EXPECT_EQ(Py_TYPE(second.get()), Py_TYPE(raised.get()));
}

TEST(BoundaryTest, FailureWithoutTextGetsTheGenericText) {
  (void)guarded([]() -> PyObject* { throw 42; });
  PyRef raised = take_raised();
  EXPECT_EQ(str_of(raised.get()), "native code failed without a message");
}

TEST(BoundaryTest, ExhaustedHeapBecomesMemoryError) {
  const int result = guarded(-1, []() -> int { throw std::bad_alloc(); });
  EXPECT_EQ(result, -1);
  PyRef raised = take_raised();
  EXPECT_TRUE(PyErr_GivenExceptionMatches(raised.get(), PyExc_MemoryError));
}

TEST(BoundaryTest, LockIsTakenBackWhenAFailurePassesThroughTheRelease) {
  (void)guarded([]() -> PyObject* {
    without_gil([]() -> int {
      EXPECT_FALSE(PyGILState_Check());
      fail_invariant("while released");
    });
    return nullptr;
  });
  EXPECT_TRUE(PyGILState_Check());
  PyRef raised = take_raised();
  EXPECT_EQ(str_of(raised.get()), "while released");
}

// The thread of ThreadEndedInsideTheReleaseEndsAlone: inside the boundary,
// holding a reference to `arg`, it releases the lock and is ended there with
// pthread_exit, as the interpreter ends a thread that takes the lock back
// while it finalises. Returns `arg` only if the unwind stopped somewhere.
void* thread_ended_inside_the_release(void* arg) {
  PyObject* object = static_cast<PyObject*>(arg);
  const PyGILState_STATE lock = PyGILState_Ensure();
  (void)guarded([&]() -> PyObject* {
    PyRef held = PyRef::borrow(object);
    without_gil([]() -> int { pthread_exit(nullptr); });
    return nullptr;
  });
  PyGILState_Release(lock);
  return arg;
}

TEST(BoundaryTest, ThreadEndedInsideTheReleaseEndsAlone) {
  PyRef object = PyRef::steal(PyList_New(0));
  const Py_ssize_t references = Py_REFCNT(object.get());
  PyThreadState* const state = PyEval_SaveThread();
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, thread_ended_inside_the_release,
                           object.get()),
            0);
  void* result = &result;
  pthread_join(thread, &result);
  PyEval_RestoreThread(state);
  // The unwind went through the release and the boundary to the thread's
  // start, and the reference it passed without the lock was kept.
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(Py_REFCNT(object.get()), references + 1);
}

TEST(BindingTest, OnlyAnExactTypeErrorIsRenamedAfterTheParameter) {
  PyRef globals = PyRef::steal(PyDict_New());
  PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins());
  PyRef defined =
      PyRef::steal(PyRun_String("class Sub(TypeError): pass\n", Py_file_input,
                                globals.get(), globals.get()));
  ASSERT_TRUE(defined);
  struct Case {
    PyObject* type;
    std::string_view expected_type;
    std::string_view expected_text;
  };
  const Case kCases[] = {
      {.type = PyExc_TypeError,
       .expected_type = "TypeError",
       .expected_text = "argument 'path': inner"},
      {.type = PyExc_ValueError,
       .expected_type = "ValueError",
       .expected_text = "inner"},
      {.type = PyDict_GetItemString(globals.get(), "Sub"),
       .expected_type = "Sub",
       .expected_text = "inner"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected_type);
    PyErr_SetString(c.type, "inner");
    EXPECT_FALSE(named("path", false));
    PyRef raised = take_raised();
    EXPECT_EQ(attribute(reinterpret_cast<PyObject*>(Py_TYPE(raised.get())),
                        "__name__"),
              c.expected_type);
    EXPECT_EQ(str_of(raised.get()), c.expected_text);
  }
  EXPECT_TRUE(named("path", true));
  EXPECT_FALSE(PyErr_Occurred());
}

constexpr std::string_view kOne[] = {"s"};
constexpr std::string_view kTwo[] = {"module", "name"};
constexpr CallableSpec kRequired = {
    .class_name = {}, .function_name = "f", .parameters = kTwo, .required = 2};
constexpr CallableSpec kOptional = {
    .class_name = {}, .function_name = "g", .parameters = kTwo, .required = 1};
constexpr CallableSpec kNoParameters = {
    .class_name = "C", .function_name = "run", .parameters = {}, .required = 0};
constexpr CallableSpec kConstructor = {.class_name = "C",
                                       .function_name = "__new__",
                                       .parameters = kOne,
                                       .required = 0};

// The interpreter takes a signature from the documentation only when it is
// the callable's name, the parenthesised list and "\n--\n\n" exactly.
TEST(BindingTest, TextSignatureBlockFollowsTheParameters) {
  struct Case {
    const char* block;
    std::string_view expected;
  };
  const Case kCases[] = {
      {.block = kTextSignature<kRequired, SignatureOf::kFunction>.data(),
       .expected = "f(module, name)\n--\n\n"},
      {.block = kTextSignature<kOptional, SignatureOf::kFunction>.data(),
       .expected = "g(module, name=None)\n--\n\n"},
      {.block = kTextSignature<kOptional, SignatureOf::kMethod>.data(),
       .expected = "g($self, module, name=None)\n--\n\n"},
      {.block = kTextSignature<kNoParameters, SignatureOf::kMethod>.data(),
       .expected = "run($self)\n--\n\n"},
      {.block = kTextSignature<kConstructor, SignatureOf::kConstructor>.data(),
       .expected = "C(s=None)\n--\n\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(std::string_view(c.block), c.expected);
  }
}

}  // namespace
}  // namespace trelk::py
