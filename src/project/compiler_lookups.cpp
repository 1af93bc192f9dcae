#include "project/compiler_lookups.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "vimbo/engine/worker_threads.h"
#include "vimbo/engine/child_process.h"
#include "vimbo/engine/interruption.h"

namespace vimbo::project {
namespace {

SearchAnswer ask(const SearchQuestion& question) {
    SearchAnswer answer;
    vimbo::platform::ChildProcess child;
    child.arguments = question.command;
    child.directory = question.directory;
    // Messages in English, whatever the user's language: the lines are read.
    child.environment = {"LC_ALL=C", "LANG=C", "LANGUAGE=C"};
    const vimbo::platform::ChildOutcome outcome = vimbo::platform::runChild(child);
    answer.started = outcome.started;
    answer.cantStart = !outcome.started;
    if (!outcome.started) {
        answer.problem = "can't run " + question.command.front();
        return answer;
    }
    // A list printed is what the compiler searches, even where the command
    // fails later (a warning made an error, say).
    if (parseSearchList(outcome.errors, question.directory, answer.list)) {
        answer.answered = true;
        return answer;
    }
    answer.problem = question.command.front() + " printed no search list" +
                     (outcome.status != 0 ? " (exit status " + std::to_string(outcome.status) + ")" : "");
    return answer;
}

}  // namespace

std::vector<SearchAnswer> askCompilers(const std::vector<SearchQuestion>& questions, const CompilerTrust& trust,
                                       unsigned jobs) {
    std::vector<SearchAnswer> answers(questions.size());
    // Each distinct command in its directory is asked once.
    std::map<std::pair<std::string, std::vector<std::string>>, std::size_t> firstAsking;
    std::vector<std::size_t> toAsk, sameAs(questions.size(), SIZE_MAX);
    for (std::size_t i = 0; i < questions.size(); ++i) {
        const SearchQuestion& question = questions[i];
        if (!question.problem.empty()) {
            answers[i].problem = question.problem;
            continue;
        }
        if (question.command.empty()) {
            answers[i].started = answers[i].answered = true;
            answers[i].list = question.given;
            continue;
        }
        const std::string untrusted = untrustedCommand(question.command, question.directory, trust);
        if (!untrusted.empty()) {
            answers[i].problem = untrusted;
            continue;
        }
        const auto [found, added] = firstAsking.emplace(std::make_pair(question.directory, question.command), i);
        if (added) toAsk.push_back(i);
        else sameAs[i] = found->second;
    }
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        // After a signal no compiler is started; the run ends before it reads a file.
        for (std::size_t at; !vimbo::platform::Interruption::signal() && (at = next++) < toAsk.size();)
            answers[toAsk[at]] = ask(questions[toAsk[at]]);
    };
    vimbo::engine::runOnThreads(jobs, toAsk.size(), work);
    for (std::size_t i = 0; i < questions.size(); ++i) {
        if (sameAs[i] != SIZE_MAX) answers[i] = answers[sameAs[i]];
        answers[i].list.includeStack = answers[i].list.includeStack || questions[i].includeStack;
    }
    return answers;
}

vimbo::engine::Lookup lookupOf(const SearchAnswer& answer) {
    vimbo::engine::Lookup lookup;
    lookup.followable = answer.answered && answer.list.followable;
    lookup.includeStack = answer.list.includeStack;
    if (!lookup.followable) return lookup;
    const auto join = [&](const std::vector<std::string>& entries, std::string& path) {
        for (const std::string& entry : entries) {
            if (entry.find(';') != std::string::npos) lookup.followable = false;
            path += (path.empty() ? "" : ";") + entry;
        }
    };
    join(answer.list.angle, lookup.searchPath);
    join(answer.list.quoted, lookup.quotePath);
    return lookup;
}

}  // namespace vimbo::project
