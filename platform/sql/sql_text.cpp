// Tokenises statement text, quotes the names SQLite would misread and parses CREATE TABLE and PACK.
#include "platform/sql/sql_text.h"

#include <sqlite3.h>

#include <cctype>
#include <set>

namespace vsql {
namespace {

enum class Tok { space, ident, digit_ident, quoted, string, number, punct };

struct Token {
    Tok kind;
    std::string text;
    std::string upper;  // identifiers: upper case, without quotes
};

// The classes of the "C" locale, which the program keeps, without a library call per character.
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alnum(char c) { return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool ident_char(char c) { return is_alnum(c) || c == '_' || c == '$'; }

std::string to_upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::vector<Token> tokenize(const std::string& s)
{
    std::vector<Token> out;
    // A token every two or three characters in the statements of the system (a blank after each comma).
    out.reserve(s.size() / 2 + 8);
    std::size_t i = 0, n = s.size();
    while (i < n) {
        char c = s[i];
        std::size_t start = i;
        if (is_space(c)) {
            while (i < n && is_space(s[i])) ++i;
            out.push_back({Tok::space, s.substr(start, i - start), {}});
        } else if (c == '\'') {
            ++i;
            while (i < n) {
                if (s[i] == '\'') {
                    if (i + 1 < n && s[i + 1] == '\'') i += 2;
                    else { ++i; break; }
                } else ++i;
            }
            out.push_back({Tok::string, s.substr(start, i - start), {}});
        } else if (c == '"' || c == '[' || c == '`') {
            char close = c == '[' ? ']' : c;
            ++i;
            while (i < n && s[i] != close) ++i;
            std::string inner = s.substr(start + 1, i - start - 1);
            if (i < n) ++i;
            out.push_back({Tok::quoted, s.substr(start, i - start), to_upper(inner)});
        } else if (is_digit(c) ||
                   (c == '.' && i + 1 < n && is_digit(s[i + 1]))) {
            while (i < n && is_digit(s[i])) ++i;
            if (i < n && s[i] == '.') {
                ++i;
                while (i < n && is_digit(s[i])) ++i;
            }
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < n && is_digit(s[j])) {
                    i = j;
                    while (i < n && is_digit(s[i])) ++i;
                }
            }
            if (i < n && ident_char(s[i]) && s.find('.', start) >= i) {
                // A name that begins with digits, such as a per-process table.
                while (i < n && ident_char(s[i])) ++i;
                std::string t = s.substr(start, i - start);
                std::string up = to_upper(t);
                out.push_back({Tok::digit_ident, std::move(t), std::move(up)});
            } else {
                out.push_back({Tok::number, s.substr(start, i - start), {}});
            }
        } else if (ident_char(c)) {
            while (i < n && ident_char(s[i])) ++i;
            std::string t = s.substr(start, i - start);
            std::string up = to_upper(t);
            out.push_back({Tok::ident, std::move(t), std::move(up)});
        } else {
            ++i;
            out.push_back({Tok::punct, std::string(1, c), {}});
        }
    }
    return out;
}

// Keywords of the statements the system writes; every other word that SQLite
// reserves can only be a column name here and gets quoted.
const std::set<std::string>& dialect_keywords()
{
    static const std::set<std::string> words = {
        "SELECT", "FROM", "WHERE", "AND", "OR", "NOT", "IN", "LIKE", "ESCAPE", "IS", "NULL", "BETWEEN",
        "ORDER", "BY", "ASC", "DESC", "DISTINCT", "ALL", "UNION", "INTERSECT", "EXCEPT", "INSERT", "INTO",
        "VALUES", "UPDATE", "SET", "DELETE", "CREATE", "TABLE", "AS", "GROUP", "HAVING", "LIMIT", "OFFSET",
        "JOIN", "INNER", "LEFT", "OUTER", "CROSS", "NATURAL", "ON", "USING", "CASE", "WHEN", "THEN", "ELSE",
        "END", "EXISTS", "COLLATE", "CAST", "GLOB", "ISNULL", "NOTNULL", "REPLACE", "PRIMARY", "KEY",
        "DEFAULT", "UNIQUE", "CHECK", "EXPLAIN", "QUERY", "PLAN", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP"};
    return words;
}

bool is_aggregate(const std::string& upper)
{
    return upper == "COUNT" || upper == "MAX" || upper == "MIN" || upper == "SUM" || upper == "AVG" ||
           upper == "TOTAL" || upper == "GROUP_CONCAT";
}

// Appends the token as SQLite is to read it.
void render(const Token& t, std::string& out)
{
    const bool quoted = t.kind == Tok::digit_ident ||
                        (t.kind == Tok::ident && sqlite3_keyword_check(t.text.c_str(), static_cast<int>(t.text.size())) &&
                         !dialect_keywords().count(t.upper));
    if (quoted) out += '"';
    out += t.text;
    if (quoted) out += '"';
}

bool is_name(const Token& t) { return t.kind == Tok::ident || t.kind == Tok::digit_ident || t.kind == Tok::quoted; }

// Significant tokens (no blanks), with their positions in the full list.
struct Cursor {
    const std::vector<Token>& all;
    std::vector<std::size_t> idx;
    std::size_t pos = 0;
    explicit Cursor(const std::vector<Token>& tokens) : all(tokens)
    {
        for (std::size_t i = 0; i < tokens.size(); ++i)
            if (tokens[i].kind != Tok::space) idx.push_back(i);
    }
    bool done() const { return pos >= idx.size(); }
    const Token* peek(std::size_t ahead = 0) const
    {
        return pos + ahead < idx.size() ? &all[idx[pos + ahead]] : nullptr;
    }
    const Token* next() { return done() ? nullptr : &all[idx[pos++]]; }
    bool accept_word(const char* w)
    {
        const Token* t = peek();
        if (t && t->kind == Tok::ident && t->upper == w) { ++pos; return true; }
        return false;
    }
    bool accept_punct(char c)
    {
        const Token* t = peek();
        if (t && t->kind == Tok::punct && t->text[0] == c) { ++pos; return true; }
        return false;
    }
};

std::string name_of(const Token& t) { return t.kind == Tok::quoted ? t.text.substr(1, t.text.size() - 2) : t.text; }

bool read_int(Cursor& c, int& out)
{
    const Token* t = c.next();
    if (!t || t->kind != Tok::number || t->text.find_first_not_of("0123456789") != std::string::npos ||
        t->text.size() > 4)
        return false;
    out = std::stoi(t->text);
    return true;
}

void parse_create(Cursor& c, StatementText& st)
{
    const Token* name = c.next();
    if (!name || !is_name(*name)) { st.error = "CREATE TABLE needs a table name"; return; }
    st.table = to_upper(name_of(*name));
    if (!c.accept_punct('(')) { st.error = "CREATE TABLE needs a column list"; return; }
    std::set<std::string> seen;
    for (;;) {
        const Token* col = c.next();
        const Token* type = c.next();
        if (!col || !is_name(*col) || !type || type->kind != Tok::ident) { st.error = "Bad column definition"; return; }
        DbfColumnDef def;
        def.name = to_upper(name_of(*col));
        if (def.name.empty() || def.name.size() > 10 || !valid_table_name(def.name)) {
            st.error = "Column name " + def.name + " is not a valid dBase field name (at most 10 letters, digits or _)";
            return;
        }
        if (!seen.insert(def.name).second) { st.error = "Column " + def.name + " is named twice"; return; }
        int a = 0, b = 0;
        bool has_b = false;
        if (!c.accept_punct('(') || !read_int(c, a)) { st.error = "Column " + def.name + " needs a width"; return; }
        if (c.accept_punct(',')) {
            if (!read_int(c, b)) { st.error = "Bad scale for column " + def.name; return; }
            has_b = true;
        }
        if (!c.accept_punct(')')) { st.error = "Bad type of column " + def.name; return; }
        if (type->upper == "CHAR" || type->upper == "CHARACTER" || type->upper == "VARCHAR") {
            if (has_b || a < 1 || a > 254) { st.error = "Bad width for text column " + def.name; return; }
            def.type = 'C';
            def.width = a;
        } else if (type->upper == "NUMERIC" || type->upper == "DECIMAL") {
            if (a < 1 || a > 20 || b < 0 || (b > 0 && b > a - 2)) { st.error = "Bad precision for column " + def.name; return; }
            def.type = 'N';
            def.width = a;
            def.decimals = b;
        } else {
            st.error = "Unsupported column type " + type->text;
            return;
        }
        if (c.accept_word("NOT")) {
            if (!c.accept_word("NULL")) { st.error = "Bad column definition"; return; }
        } else {
            c.accept_word("NULL");
        }
        st.columns.push_back(def);
        if (c.accept_punct(',')) continue;
        if (c.accept_punct(')')) break;
        st.error = "Bad column list";
        return;
    }
    c.accept_punct(';');
    if (!c.done()) st.error = "Unexpected text after CREATE TABLE";
}

// The index of the FROM of a plain one-table row query, or npos.
std::size_t simple_query_from(const std::vector<Token>& tokens)
{
    std::size_t npos = std::string::npos;
    int depth = 0;
    std::size_t from = npos;
    int names_after_from = 0;
    bool first = true, in_from = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Tok::space) continue;
        if (t.kind == Tok::punct && t.text == "(") { ++depth; continue; }
        if (t.kind == Tok::punct && t.text == ")") { --depth; continue; }
        if (t.kind == Tok::ident && is_aggregate(t.upper)) {
            std::size_t j = i + 1;
            while (j < tokens.size() && tokens[j].kind == Tok::space) ++j;
            if (j < tokens.size() && tokens[j].text == "(") return npos;
        }
        if (depth != 0) continue;
        if (first) {
            first = false;
            if (t.upper != "SELECT") return npos;
            std::size_t j = i + 1;
            while (j < tokens.size() && tokens[j].kind == Tok::space) ++j;
            if (j < tokens.size() && (tokens[j].upper == "DISTINCT" || tokens[j].upper == "ALL")) return npos;
            continue;
        }
        if (t.kind == Tok::ident &&
            (t.upper == "UNION" || t.upper == "INTERSECT" || t.upper == "EXCEPT" || t.upper == "GROUP" ||
             t.upper == "HAVING" || t.upper == "JOIN"))
            return npos;
        if (t.kind == Tok::ident && t.upper == "FROM" && from == npos) {
            from = i;
            in_from = true;
            continue;
        }
        if (in_from) {
            if (t.kind == Tok::punct && t.text == ",") return npos;
            if (t.kind == Tok::ident && (t.upper == "WHERE" || t.upper == "ORDER" || t.upper == "LIMIT")) {
                in_from = false;
                continue;
            }
            if (is_name(t) && t.upper != "AS") ++names_after_from;
        }
    }
    if (from == npos || names_after_from < 1 || names_after_from > 2) return npos;
    return from;
}

}  // namespace

bool valid_table_name(const std::string& name)
{
    if (name.empty() || name.size() > 64) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

StatementText read_statement(const std::string& sql)
{
    StatementText st;
    std::vector<Token> tokens = tokenize(sql);
    for (const Token& t : tokens)
        if (is_name(t)) st.identifiers.push_back(t.upper);
    Cursor c(tokens);
    const Token* first = c.peek();
    std::string word = first && first->kind == Tok::ident ? first->upper : "";
    if (word == "CREATE" && c.peek(1) && c.peek(1)->upper == "TABLE") {
        st.kind = StatementText::Kind::create_table;
        c.next();
        c.next();
        parse_create(c, st);
        if (st.error.empty() && !valid_table_name(st.table)) st.error = "Invalid table name " + st.table;
        return st;
    }
    if (word == "PACK") {
        st.kind = StatementText::Kind::pack;
        c.next();
        const Token* name = c.next();
        if (!name || !is_name(*name)) { st.error = "PACK needs a table name"; return st; }
        st.table = to_upper(name_of(*name));
        c.accept_punct(';');
        if (!c.done()) st.error = "Unexpected text after PACK";
        else if (!valid_table_name(st.table)) st.error = "Invalid table name " + st.table;
        return st;
    }
    if (word == "DROP" && c.peek(1) && c.peek(1)->upper == "TABLE") {
        // Only the plain form is the engine's own; anything else goes to SQLite, which reports it.
        Cursor d = c;
        d.next();
        d.next();
        bool if_exists = false;
        if (d.peek() && d.peek()->upper == "IF" && d.peek(1) && d.peek(1)->upper == "EXISTS") {
            d.next();
            d.next();
            if_exists = true;
        }
        const Token* name = d.next();
        if (name && is_name(*name)) {
            d.accept_punct(';');
            if (d.done() && valid_table_name(to_upper(name_of(*name)))) {
                st.kind = StatementText::Kind::drop_table;
                st.table = to_upper(name_of(*name));
                st.if_exists = if_exists;
                return st;
            }
        }
    }
    st.kind = word == "SELECT" ? StatementText::Kind::query : StatementText::Kind::other;
    std::size_t from = st.kind == StatementText::Kind::query ? simple_query_from(tokens) : std::string::npos;
    st.sql.reserve(sql.size() + 16);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i == from) {
            st.sql_with_rowid = st.sql;
            if (!st.sql_with_rowid.empty() && st.sql_with_rowid.back() != ' ') st.sql_with_rowid += ' ';
            st.sql_with_rowid += ", _ROWID_ ";
        }
        const std::size_t start = st.sql.size();
        render(tokens[i], st.sql);
        if (from != std::string::npos && i >= from) st.sql_with_rowid.append(st.sql, start, std::string::npos);
    }
    return st;
}

}  // namespace vsql
