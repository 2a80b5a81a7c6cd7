// Placeholder so the library is not empty; replaced by the dialog framework.
namespace scx_framework_placeholder { int unused; }
