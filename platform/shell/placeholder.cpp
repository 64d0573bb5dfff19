// Keeps the library non-empty until its first service lands.
namespace platform_shell_detail { int placeholder = 0; }
