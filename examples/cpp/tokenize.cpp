// Prints the tokens of a file, one per line: line:column, token type, text.
//   tokenize DEFINITION INPUT
#include <quarn/quarn.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

std::string read_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("cannot read ") + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tokenize DEFINITION INPUT\n";
        return 2;
    }
    try {
        const quarn::Scanner scanner = quarn::Scanner::compile(read_file(argv[1]));
        const std::string text = read_file(argv[2]);
        quarn::ModeState state;
        scanner.scan(text, state, /*positions=*/true, [&](const quarn::Token& token) {
            std::cout << token.start_line << ':' << token.start_column << '\t' << token.type << '\t'
                      << text.substr(token.start, token.end - token.start) << '\n';
            return true;
        });
    } catch (const quarn::DefinitionError& error) {
        std::cerr << argv[1] << ':' << error.line() << ':' << error.column()
                  << ": error: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << '\n';
        return 2;
    }
    return 0;
}
