#include "algorithmic.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ami_check.h"
#include "lexer.h"

namespace fs = std::filesystem;

namespace ibis {

void AlgorithmicRules::Keyword(const KeywordLine& k) {
    if (k.id == Kw::AlgorithmicModel) {
        open_ = true;
        openLine_ = k.line;
        linesInOpen_ = 0;
        platforms_.clear();
    } else if (k.id == Kw::EndAlgorithmicModel) {
        if (!open_)
            c_.Add(Message::KeywordOutOfSection, k.line,
                   "[End Algorithmic Model] without [Algorithmic Model]");
        else if (linesInOpen_ == 0)
            c_.Add(Message::ExecutableLine, openLine_,
                   "[Algorithmic Model] holds no Executable line");
        open_ = false;
    }
}

std::string ExecutableHalf(const std::string& lowerName) {
    return lowerName == "executable_rx" ? "Rx" : lowerName == "executable_tx" ? "Tx" : "";
}

void AlgorithmicRules::Data(const DataLine& d) {
    const ModelInfo* model = models_.Current();
    if (d.id != Kw::AlgorithmicModel || model == nullptr) return;
    const std::vector<std::string>& w = d.words;
    ++linesInOpen_;
    // A repeater's two halves have lines of their own (Executable_Rx, Executable_Tx).
    const std::string sub = Lower(w[0]);
    if (sub != "executable" && sub != "executable_rx" && sub != "executable_tx") {
        c_.Add(Message::ExecutableLine, d.line,
               "[Algorithmic Model] holds Executable lines, not '" + w[0] + "'");
        return;
    }
    if (w.size() != 4) {
        c_.Add(Message::ExecutableLine, d.line,
               "an Executable line needs platform_compiler_bits, the executable and the .ami "
               "file");
        return;
    }
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t u; (u = w[1].find('_', at)) != std::string::npos; at = u + 1)
        parts.push_back(w[1].substr(at, u - at));
    parts.push_back(w[1].substr(at));
    if (parts.size() != 3 || parts[0].empty() || parts[1].empty() ||
        (parts[2] != "32" && parts[2] != "64"))
        c_.Add(Message::PlatformCompilerBits, d.line,
               "'" + w[1] + "' is not Platform_Compiler_Bits with 32 or 64 bits");
    // One executable a platform (and, for a repeater, a half): a simulator
    // could not tell which of two to load.
    if (!platforms_.insert(sub + " " + Lower(w[1])).second)
        c_.Add(Message::PlatformTwice, d.line,
               w[0] + " " + w[1] + " is given twice in this [Algorithmic Model]");
    executables_.push_back({model->name, w[1], w[2], w[3], d.line, ExecutableHalf(sub)});
    sides_.push_back(SideOf(sub, model->type));
}

// A repeater's halves say their side; otherwise the Model_type does (I/O
// models and types that are neither take both).
AmiSide AlgorithmicRules::SideOf(const std::string& executable, const std::string& modelType) {
    if (executable == "executable_rx") return AmiSide::Rx;
    if (executable == "executable_tx") return AmiSide::Tx;
    const std::string type = Lower(modelType);
    if (type.rfind("i/o", 0) == 0) return AmiSide::Either;
    if (type.rfind("input", 0) == 0) return AmiSide::Rx;
    if (type.rfind("output", 0) == 0 || type.rfind("3-state", 0) == 0 ||
        type.rfind("open_", 0) == 0)
        return AmiSide::Tx;
    return AmiSide::Either;
}

void AlgorithmicRules::FinishOpen() {
    if (open_)
        c_.Add(Message::SectionNotClosed, openLine_,
               "[Algorithmic Model] without [End Algorithmic Model]");
}

void AlgorithmicRules::CheckExecutables() {
    for (std::size_t i = 0; i < executables_.size(); ++i) {
        const ExecutableLine& e = executables_[i];
        c_.CheckFileName(e.executable, e.line);
        c_.CheckFileName(e.amiFile, e.line);
        const bool ami = c_.CheckReferencedFile(e.amiFile, e.line);
        const bool executable = c_.CheckReferencedFile(e.executable, e.line);
        if (c_.folder.empty() || !ami || !executable) continue;
        // The .ami file, then the executable's exports against what it asks for.
        AmiCalls calls;
        const std::string amiPath = (fs::path(c_.folder) / e.amiFile).string();
        std::ifstream in(amiPath, std::ios::binary);
        const std::string amiText((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        CheckAmiText(amiPath, amiText, c_.reports, &calls, c_.version, &c_.cap, sides_[i]);
        std::vector<std::string> exports;
        std::string format;
        const std::string exePath = (fs::path(c_.folder) / e.executable).string();
        if (!ReadExports(exePath, exports, format)) {
            c_.Add(Message::ExecutableUnreadable, e.line,
                   e.executable + " is not an ELF or PE shared library this checker can read");
            continue;
        }
        std::vector<std::string> needed = {"AMI_Init", "AMI_Close"};
        if (calls.getWave) needed.push_back("AMI_GetWave");
        // BIRD155.2: the model resolves its Dep parameters in AMI_Resolve.
        if (calls.resolve) needed.push_back("AMI_Resolve");
        for (const std::string& n : needed)
            if (std::find(exports.begin(), exports.end(), n) == exports.end())
                c_.Add(Message::ExecutableEntryPoint, e.line,
                       e.executable + " does not export " + n);
    }
}

}  // namespace ibis
