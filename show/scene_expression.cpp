#include "show/scene_expression.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace scenes {

namespace {

struct Function {
    const char* name;
    Op op;
    int32_t arguments; // spectrum takes one or two: listed twice
};

constexpr Function kFunctions[] = {
    {"sin", Op::Sin, 1},
    {"cos", Op::Cos, 1},
    {"abs", Op::Abs, 1},
    {"floor", Op::Floor, 1},
    {"min", Op::Min, 2},
    {"max", Op::Max, 2},
    {"clamp", Op::Clamp, 3},
    {"mix", Op::Mix, 3},
    {"smoothstep", Op::Smoothstep, 3},
    {"spectrum", Op::SpectrumBin, 1},
    {"spectrum", Op::SpectrumMean, 2},
};

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

double bin(const ExpressionInputs& in, double index) {
    if (!in.spectrum || std::isnan(index)) return 0;
    const double clamped = std::clamp(std::floor(index), 0.0, double(kSpectrumBins - 1));
    return in.spectrum[int32_t(clamped)];
}

double spectrumMean(const ExpressionInputs& in, double first, double last) {
    if (!in.spectrum || std::isnan(first) || std::isnan(last)) return 0;
    const auto place = [](double v) {
        return int32_t(std::clamp(std::floor(v), 0.0, double(kSpectrumBins - 1)));
    };
    int32_t from = place(first), to = place(last);
    if (from > to) std::swap(from, to);
    double sum = 0;
    for (int32_t k = from; k <= to; ++k) sum += in.spectrum[k];
    return sum / (to - from + 1);
}

double smoothstep(double edge0, double edge1, double x) {
    if (edge0 == edge1) return x < edge0 ? 0 : 1;
    const double u = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return u * u * (3 - 2 * u);
}

double evaluateNode(const ExpressionPool& pool, ExpressionId id, const ExpressionInputs& in) {
    const ExpressionNode& n = pool.nodes[size_t(id)];
    const auto arg = [&](int32_t child) { return evaluateNode(pool, child, in); };
    switch (n.op) {
    case Op::Number:
        return n.number;
    case Op::Time:
        return in.time;
    case Op::Since:
        return in.since;
    case Op::Index:
        return in.index;
    case Op::Row:
        return in.row;
    case Op::Track:
        return in.tracks ? in.tracks[n.track] : 0;
    case Op::Negate:
        return -arg(n.a);
    case Op::Add:
        return arg(n.a) + arg(n.b);
    case Op::Subtract:
        return arg(n.a) - arg(n.b);
    case Op::Multiply:
        return arg(n.a) * arg(n.b);
    case Op::Divide:
        return arg(n.a) / arg(n.b);
    case Op::Sin:
        return std::sin(arg(n.a));
    case Op::Cos:
        return std::cos(arg(n.a));
    case Op::Abs:
        return std::abs(arg(n.a));
    case Op::Floor:
        return std::floor(arg(n.a));
    case Op::Min:
        return std::min(arg(n.a), arg(n.b));
    case Op::Max:
        return std::max(arg(n.a), arg(n.b));
    case Op::Clamp:
        return std::min(std::max(arg(n.a), arg(n.b)), arg(n.c));
    case Op::Mix: {
        const double a = arg(n.a);
        return a + (arg(n.b) - a) * arg(n.c);
    }
    case Op::Smoothstep:
        return smoothstep(arg(n.a), arg(n.b), arg(n.c));
    case Op::SpectrumBin:
        return bin(in, arg(n.a));
    case Op::SpectrumMean:
        return spectrumMean(in, arg(n.a), arg(n.b));
    }
    return 0;
}

// A recursive-descent reader over one expression's text.
class Parser {
  public:
    Parser(std::string_view text, const ExpressionNames& names, ExpressionPool& pool,
           ExpressionError& error)
        : text_(text), names_(names), pool_(pool), error_(error) {}

    ExpressionId parse() {
        if (text_.size() > kMaxExpressionLength) {
            return fail(0, "an expression of more than " + std::to_string(kMaxExpressionLength) +
                               " characters");
        }
        const ExpressionId root = sum(0);
        if (root < 0) return root;
        skipSpaces();
        if (at_ < text_.size()) return fail(at_, "unexpected '" + std::string(1, text_[at_]) + "'");
        return root;
    }

  private:
    ExpressionId fail(size_t column, const std::string& message) {
        if (error_.message.empty()) error_ = {column, message};
        return -1;
    }

    void skipSpaces() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }
    bool take(char c) {
        skipSpaces();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    // A new node; one whose operands are all numbers becomes a number.
    ExpressionId add(ExpressionNode node) {
        const auto constant = [&](int32_t child) {
            return child < 0 || pool_.nodes[size_t(child)].op == Op::Number;
        };
        const bool readsInputs = node.op == Op::Time || node.op == Op::Since ||
                                 node.op == Op::Index || node.op == Op::Row ||
                                 node.op == Op::Track || node.op == Op::SpectrumBin ||
                                 node.op == Op::SpectrumMean;
        pool_.nodes.push_back(node);
        const ExpressionId id = ExpressionId(pool_.nodes.size() - 1);
        if (!readsInputs && constant(node.a) && constant(node.b) && constant(node.c))
            pool_.nodes[size_t(id)] = {Op::Number, evaluateNode(pool_, id, {})};
        return id;
    }

    ExpressionId sum(int32_t depth) {
        return chain(depth, '+', Op::Add, '-', Op::Subtract, &Parser::product);
    }

    ExpressionId product(int32_t depth) {
        return chain(depth, '*', Op::Multiply, '/', Op::Divide, &Parser::unary);
    }

    // Operands joined left to right by either of two operators.
    ExpressionId chain(int32_t depth, char first, Op firstOp, char second, Op secondOp,
                       ExpressionId (Parser::*operand)(int32_t)) {
        ExpressionId left = (this->*operand)(depth);
        while (left >= 0) {
            Op op;
            if (take(first))
                op = firstOp;
            else if (take(second))
                op = secondOp;
            else
                break;
            const ExpressionId right = (this->*operand)(depth);
            if (right < 0) return right;
            left = add({op, 0, left, right});
        }
        return left;
    }

    ExpressionId unary(int32_t depth) {
        if (depth >= kMaxExpressionDepth) {
            return fail(at_, "nested more than " + std::to_string(kMaxExpressionDepth) + " deep");
        }
        if (take('-')) {
            const ExpressionId operand = unary(depth + 1);
            return operand < 0 ? operand : add({Op::Negate, 0, operand});
        }
        return primary(depth);
    }

    ExpressionId primary(int32_t depth) {
        skipSpaces();
        if (at_ >= text_.size()) return fail(at_, "a value is missing");
        const char c = text_[at_];
        if (c == '(') {
            ++at_;
            const ExpressionId inner = sum(depth + 1);
            if (inner < 0) return inner;
            if (!take(')')) return fail(at_, "')' expected");
            return inner;
        }
        if ((c >= '0' && c <= '9') || c == '.') return number();
        if (isNameStart(c)) return named(depth);
        return fail(at_, "unexpected '" + std::string(1, c) + "'");
    }

    ExpressionId number() {
        const size_t start = at_;
        double value = 0;
        const auto [end, problem] =
            std::from_chars(text_.data() + at_, text_.data() + text_.size(), value);
        if (problem != std::errc() || !std::isfinite(value))
            return fail(start, "not a number: '" + std::string(text_.substr(start, 12)) + "'");
        at_ = size_t(end - text_.data());
        if (at_ < text_.size() && isNameChar(text_[at_]))
            return fail(at_, "a number runs into '" + std::string(1, text_[at_]) + "'");
        return add({Op::Number, value});
    }

    ExpressionId named(int32_t depth) {
        const size_t start = at_;
        while (at_ < text_.size() && isNameChar(text_[at_])) ++at_;
        const std::string name(text_.substr(start, at_ - start));
        skipSpaces();
        if (at_ < text_.size() && text_[at_] == '(') return call(name, start, depth);
        if (name == "t") return add({Op::Time});
        if (name == "since") return add({Op::Since});
        if (name == "i") return add({Op::Index});
        if (name == "j") return add({Op::Row});
        if (name == "pi") return add({Op::Number, std::numbers::pi});
        for (size_t k = 0; k < names_.tracks.size(); ++k) {
            if (names_.tracks[k] == name) {
                ExpressionNode node{Op::Track};
                node.track = int32_t(k);
                return add(node);
            }
        }
        return fail(start, "unknown name '" + name + "' (not t, since, i, pi or a track)");
    }

    ExpressionId call(const std::string& name, size_t start, int32_t depth) {
        ++at_; // the '('
        std::vector<ExpressionId> arguments;
        if (!take(')')) {
            do {
                const ExpressionId argument = sum(depth + 1);
                if (argument < 0) return argument;
                arguments.push_back(argument);
            } while (take(','));
            if (!take(')')) return fail(at_, "',' or ')' expected");
        }
        bool known = false;
        for (const Function& f : kFunctions) {
            if (name != f.name) continue;
            known = true;
            if (f.arguments != int32_t(arguments.size())) continue;
            ExpressionNode node{f.op};
            node.a = arguments[0];
            if (arguments.size() > 1) node.b = arguments[1];
            if (arguments.size() > 2) node.c = arguments[2];
            return add(node);
        }
        if (!known) return fail(start, "unknown function '" + name + "'");
        return fail(start, name + "() does not take " + std::to_string(arguments.size()) +
                               " argument" + (arguments.size() == 1 ? "" : "s"));
    }

    std::string_view text_;
    const ExpressionNames& names_;
    ExpressionPool& pool_;
    ExpressionError& error_;
    size_t at_ = 0;
};

} // namespace

ExpressionId parseExpression(std::string_view text, const ExpressionNames& names,
                             ExpressionPool& pool, ExpressionError& error) {
    error = {};
    const size_t before = pool.nodes.size();
    const ExpressionId root = Parser(text, names, pool, error).parse();
    if (root < 0) pool.nodes.resize(before);
    return root;
}

double evaluate(const ExpressionPool& pool, ExpressionId id, const ExpressionInputs& inputs) {
    const double value = evaluateNode(pool, id, inputs);
    return std::isfinite(value) ? value : 0;
}

bool isName(std::string_view text) {
    return !text.empty() && isNameStart(text[0]) &&
           std::all_of(text.begin(), text.end(), isNameChar);
}

bool isNumber(const ExpressionPool& pool, ExpressionId id) {
    return pool.nodes[size_t(id)].op == Op::Number;
}

} // namespace scenes
