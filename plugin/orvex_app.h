#pragma once
// The module's application object: created when the library is loaded, destroyed
// when it is unloaded. It makes the module's built-in resources (layouts, pictures,
// help pages, program descriptors) available and tells the host's help viewer where
// the module's help pages are.

class COrvexApp {
  public:
    /// Where the module's resources and help pages live in the Qt resource tree.
    static constexpr const char* kResourceRoot = ":/orvex";
    static constexpr const char* kHelpFolder = ":/orvex/help";

    COrvexApp();
    ~COrvexApp();
    COrvexApp(const COrvexApp&) = delete;
    COrvexApp& operator=(const COrvexApp&) = delete;
};

/// The one application object of the loaded module.
COrvexApp& TheOrvexApp();
