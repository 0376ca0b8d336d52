/* The object-creation floor: what it costs to hand N token-shaped results to
 * Python when the scan itself is free. `build(text, n, token_bytes)` returns a
 * list of n FloorToken objects (token_type, start, end, text), each text a
 * fresh str decoded from a token_bytes-long UTF-8 slice of `text`, walking the
 * input the way a scanner would. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

typedef struct {
    PyObject_HEAD PyObject* token_type;
    PyObject* start;
    PyObject* end;
    PyObject* text;
} FloorToken;

static void floor_token_dealloc(FloorToken* self) {
    Py_XDECREF(self->token_type);
    Py_XDECREF(self->start);
    Py_XDECREF(self->end);
    Py_XDECREF(self->text);
    Py_TYPE(self)->tp_free((PyObject*)self);
}

static PyMemberDef floor_token_members[] = {
    {"token_type", T_OBJECT, offsetof(FloorToken, token_type), READONLY, NULL},
    {"start", T_OBJECT, offsetof(FloorToken, start), READONLY, NULL},
    {"end", T_OBJECT, offsetof(FloorToken, end), READONLY, NULL},
    {"text", T_OBJECT, offsetof(FloorToken, text), READONLY, NULL},
    {NULL, 0, 0, 0, NULL},
};

static PyTypeObject FloorTokenType = {
    PyVarObject_HEAD_INIT(NULL, 0) /* the macro ends with its own comma */
        .tp_name = "quarn_bench_floor.FloorToken",
    .tp_basicsize = sizeof(FloorToken),
    .tp_dealloc = (destructor)floor_token_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_members = floor_token_members,
};

/* Moves `at` back to the first byte of the UTF-8 sequence it points into. */
static Py_ssize_t char_boundary(const char* utf8, Py_ssize_t at) {
    while (at > 0 && ((unsigned char)utf8[at] & 0xC0) == 0x80)
        at--;
    return at;
}

static PyObject* build(PyObject* module, PyObject* args) {
    (void)module;
    PyObject* text;
    Py_ssize_t n, token_bytes;
    if (!PyArg_ParseTuple(args, "Unn", &text, &n, &token_bytes))
        return NULL;
    Py_ssize_t size;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == NULL)
        return NULL;
    if (n < 0 || token_bytes <= 0 || size <= token_bytes) {
        PyErr_SetString(PyExc_ValueError, "need n >= 0 and 0 < token_bytes < len(text)");
        return NULL;
    }
    PyObject* list = PyList_New(n);
    if (list == NULL)
        return NULL;
    Py_ssize_t offset = 0;
    for (Py_ssize_t k = 0; k < n; k++) {
        if (offset + token_bytes > size)
            offset = 0;
        const Py_ssize_t start = char_boundary(utf8, offset);
        const Py_ssize_t end = char_boundary(utf8, offset + token_bytes);
        offset += token_bytes;
        FloorToken* token = PyObject_New(FloorToken, &FloorTokenType);
        if (token == NULL)
            goto fail;
        token->token_type = PyLong_FromLong((long)(k & 7));
        token->start = PyLong_FromSsize_t(start);
        token->end = PyLong_FromSsize_t(end);
        token->text = PyUnicode_DecodeUTF8(utf8 + start, end - start, NULL);
        PyList_SET_ITEM(list, k, (PyObject*)token);
        if (!token->token_type || !token->start || !token->end || !token->text)
            goto fail;
    }
    return list;
fail:
    Py_DECREF(list);
    return NULL;
}

static PyMethodDef floor_methods[] = {
    {"build", build, METH_VARARGS, "build(text, n, token_bytes) -> list of n FloorToken"},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, "quarn_bench_floor", NULL, -1, floor_methods, NULL, NULL, NULL, NULL,
};

PyMODINIT_FUNC PyInit_quarn_bench_floor(void) {
    if (PyType_Ready(&FloorTokenType) < 0)
        return NULL;
    PyObject* module = PyModule_Create(&floor_module);
    if (module == NULL)
        return NULL;
    Py_INCREF(&FloorTokenType);
    if (PyModule_AddObject(module, "FloorToken", (PyObject*)&FloorTokenType) < 0) {
        Py_DECREF(&FloorTokenType);
        Py_DECREF(module);
        return NULL;
    }
    return module;
}
